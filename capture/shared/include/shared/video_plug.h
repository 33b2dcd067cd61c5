/* The entry point of a video plug-in library (the "VideoPlug" folder).
 *
 * A plug-in library exports one C function, VPSendCmd, through which its
 * host sends every command:
 *
 *   int32_t VPSendCmd(intptr_t handle, int32_t command, intptr_t first, intptr_t second);
 *
 * 0 means success. handle is what command 100 returned (0 for command 100
 * itself); first and second are pointer-sized so that pointers pass whole.
 * The host sends commands of one handle from one thread at a time; the
 * plug-in may call back from threads of its own (see the receiver's commands).
 *
 *   100  VP_CMD_CREATE    (0, 100, intptr_t* handleOut, 0): create a handle and store it in *handleOut
 *   101  VP_CMD_RELEASE   (handle, 101, 0, 0): release the handle; the library is unloaded afterwards
 *   111  VP_CMD_GET_NAME  (handle, 111, char name[128], 0): write the zero-terminated name, at most
 *                         VP_NAME_SIZE bytes with the zero; the host owns the buffer
 */
#ifndef LESSONRY_SHARED_VIDEO_PLUG_H
#define LESSONRY_SHARED_VIDEO_PLUG_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t (*VPSendCmdFunction)(intptr_t handle, int32_t command, intptr_t first, intptr_t second);

#define VP_SEND_CMD_NAME "VPSendCmd"
#define VP_CMD_CREATE 100
#define VP_CMD_RELEASE 101
#define VP_CMD_GET_NAME 111
#define VP_NAME_SIZE 128

#ifdef __cplusplus
}
#endif

#endif /* LESSONRY_SHARED_VIDEO_PLUG_H */
