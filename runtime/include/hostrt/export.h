/* Symbol visibility of the runtime library across the shared-library boundary. */
#ifndef HOSTRT_EXPORT_H
#define HOSTRT_EXPORT_H

#if defined(_WIN32)
#if defined(HOSTRT_BUILDING)
#define HOSTRT_API __declspec(dllexport)
#else
#define HOSTRT_API __declspec(dllimport)
#endif
#else
#define HOSTRT_API __attribute__((visibility("default")))
#endif

/* Thread-local state of the runtime. The runtime is loaded with the program,
 * never opened later, so its thread-locals can live in the static TLS block
 * and be reached without a call into the dynamic loader. */
#if defined(__cplusplus)
#if defined(__ELF__)
#define HOSTRT_THREAD_LOCAL thread_local __attribute__((tls_model("initial-exec")))
#else
#define HOSTRT_THREAD_LOCAL thread_local
#endif
#endif

#endif /* HOSTRT_EXPORT_H */
