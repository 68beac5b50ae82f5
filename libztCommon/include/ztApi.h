/* Export and linkage helpers shared by the public headers of libztCommon. */
#ifndef ZT_API_H
#define ZT_API_H

#ifdef __cplusplus
#define ZT_BEGIN_DECLS extern "C" {
#define ZT_END_DECLS }
#else
#define ZT_BEGIN_DECLS
#define ZT_END_DECLS
#endif

/* The library is built with hidden visibility; only names marked ZT_API are exported. */
#define ZT_API __attribute__((visibility("default")))

#endif
