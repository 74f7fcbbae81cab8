/* RYX_EXPORT marks the declarations the shared library exports; the library is built with
 * hidden visibility, so everything else stays inside it. Usable from C and C++. */
#ifndef RYX_EXPORT_H
#define RYX_EXPORT_H

#if defined(__GNUC__) || defined(__clang__)
#define RYX_EXPORT __attribute__((visibility("default")))
#else
#define RYX_EXPORT
#endif

#endif /* RYX_EXPORT_H */
