// Symbol visibility of the runtime library across the shared-library boundary.
#pragma once

#if defined(_WIN32)
#if defined(HOSTRT_BUILDING)
#define HOSTRT_API __declspec(dllexport)
#else
#define HOSTRT_API __declspec(dllimport)
#endif
#else
#define HOSTRT_API __attribute__((visibility("default")))
#endif
