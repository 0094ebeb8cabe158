/*
 * Vantu: finds the programmers attached over USB and moves bytes over the
 * two pipes of the open one. Plain C ABI; every call runs to completion on
 * the caller's thread and calls must not overlap.
 */
#ifndef VANTU_H
#define VANTU_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(VANTU_BUILDING)
#    define VANTU_API __declspec(dllexport)
#  else
#    define VANTU_API __declspec(dllimport)
#  endif
#  if defined(_WIN64)
#    define VANTU_CALL
#  else
#    define VANTU_CALL __stdcall
#  endif
#else
#  define VANTU_API __attribute__((visibility("default")))
#  define VANTU_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A pipe handle as Vantu_Write and Vantu_Read take it: the platform's own
 * handle value widened to a pointer-sized integer. All bits set means "not
 * open" on every platform. */
typedef intptr_t VantuHandle;
#define VANTU_INVALID_HANDLE ((VantuHandle)-1)

/* Status codes. One number can mean different things in different calls;
 * the comment after each name says which call returns it. Keep this list and
 * the table in docs/vantu.md in step. Code 5 is never returned. */
#define VANTU_OK                    0   /* every status-returning call */
#define VANTU_NO_WRITE_PIPE         1   /* Vantu_OpenDevice: device opened, write pipe did not */
#define VANTU_CLOSE_NOT_OPEN        1   /* Vantu_CloseDevice: no device handle is open */
#define VANTU_HANDLE_NOT_OPEN       1   /* Vantu_Read, Vantu_Write: the handle passed is not open */
#define VANTU_NO_READ_PIPE          2   /* Vantu_OpenDevice: device and write pipe opened, read pipe did not */
#define VANTU_READ_FAILED           2   /* Vantu_Read: the driver failed the read */
#define VANTU_NO_DEVICE             3   /* Vantu_OpenDevice: the device path of that index can't be opened */
#define VANTU_WRITE_FAILED          4   /* Vantu_Write: the driver failed the write */
#define VANTU_BAD_POINTER           6   /* Vantu_GetNumDevices, Vantu_GetProductString, Vantu_Read, Vantu_Write */
#define VANTU_BAD_LENGTH            7   /* Vantu_Read, Vantu_Write: length 0 or above VANTU_MAX_TRANSFER */
#define VANTU_NOT_FOUND           255   /* Vantu_GetNumDevices: none present; Vantu_GetProductString: no such text */

#define VANTU_MAX_TRANSFER       8192   /* bytes one transfer may move, inclusive */

/* Options of Vantu_GetProductString. */
#define VANTU_TEXT_INSTANCE_ID      0
#define VANTU_TEXT_DISPLAY_NAME     1

/* Writes the number of present programmers (0 included) unless the status is
 * VANTU_BAD_POINTER. Returns VANTU_OK when at least one is present, else
 * VANTU_NOT_FOUND. */
VANTU_API int32_t VANTU_CALL Vantu_GetNumDevices(int32_t *count);

/* Copies the chosen text of member `index` with a terminating zero into
 * `buffer`, which must hold it (256 bytes always suffice). On any status but
 * VANTU_OK the buffer is left as it was. */
VANTU_API int32_t VANTU_CALL Vantu_GetProductString(int32_t index, char *buffer, int32_t option);

/* Opens member `index` and its write and read pipes: VANTU_OK,
 * VANTU_NO_WRITE_PIPE, VANTU_NO_READ_PIPE or VANTU_NO_DEVICE. Opening again
 * replaces (and releases) the handles held before. */
VANTU_API int32_t VANTU_CALL Vantu_OpenDevice(int32_t index);

/* Closes the device handle: VANTU_OK, or VANTU_CLOSE_NOT_OPEN. The pipes stay
 * usable until the next open replaces them. */
VANTU_API int32_t VANTU_CALL Vantu_CloseDevice(void);

/* Transfers on the pipes of the last open. Return 1 on success, 0 otherwise;
 * the count moved is written through the third argument. The fourth
 * argument is accepted and not used. */
VANTU_API int32_t VANTU_CALL Vantu_DeviceWrite(const void *buffer, uint32_t length, uint32_t *written, int32_t unused);
VANTU_API int32_t VANTU_CALL Vantu_DeviceRead(void *buffer, uint32_t length, uint32_t *read, int32_t unused);

/* The transfer primitives beneath them, on a pipe handle of the caller's. */
VANTU_API int32_t VANTU_CALL Vantu_Write(VantuHandle pipe, const void *buffer, uint32_t length, uint32_t *written);
VANTU_API int32_t VANTU_CALL Vantu_Read(VantuHandle pipe, void *buffer, uint32_t length, uint32_t *read);

#ifdef __cplusplus
}
#endif

#endif /* VANTU_H */
