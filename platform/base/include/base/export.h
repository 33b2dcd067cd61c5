/* Symbol export for the deliverable shared libraries: everything is hidden by
 * default (CMake visibility preset) and the exported C interface says so. */
#ifndef LESSONRY_BASE_EXPORT_H
#define LESSONRY_BASE_EXPORT_H

#define LESSONRY_EXPORT __attribute__((visibility("default")))

#endif
