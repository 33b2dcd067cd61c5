/* Rectangle record of the Windows model (source and target rectangles of
 * picture formats, client rectangles). Plain C, 16 bytes. */
#ifndef LESSONRY_BASE_RECT_H
#define LESSONRY_BASE_RECT_H

#include "base/win_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT;

#ifdef __cplusplus
}
#endif

#endif /* LESSONRY_BASE_RECT_H */
