// Basic types of the platform API.
#ifndef _SUPPORT_DEFS_H
#define _SUPPORT_DEFS_H

#include <Errors.h>

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

typedef int8_t int8;
typedef uint8_t uint8;
typedef int16_t int16;
typedef uint16_t uint16;
typedef int32_t int32;
typedef uint32_t uint32;
typedef int64_t int64;
typedef uint64_t uint64;

typedef int32 status_t;
typedef int64 bigtime_t;
typedef uint32 type_code;
typedef uint32 perform_code;

#define B_INT64_CONSTANT(x) INT64_C(x)

#ifndef NULL
#define NULL 0
#endif

#endif // _SUPPORT_DEFS_H
