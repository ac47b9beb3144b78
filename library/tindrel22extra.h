/*
 * Tindrel22Extra: the companion library.
 *  - pconf: the network server daemon's configuration text. A configuration
 *    is a tree of keys addressed by dotted paths ("tindrel.www.enabled").
 *    Rendering keeps every key, including ones the caller never touched.
 *  - kv: read access to a server announcement's key/value record.
 *  - mos: a small portable directory reader and string helpers.
 * Calls return 0 on success unless said otherwise.
 */
#ifndef TINDREL22EXTRA_H
#define TINDREL22EXTRA_H

#include <stddef.h>
#include <stdint.h>

#include "tindrel22_core.h" /* kv_t */

#ifdef __cplusplus
extern "C" {
#endif

typedef struct pconf pconf_t;

/* Parses the file at the path (printf-style fmt and arguments) into a new
 * configuration. On failure *pc is untouched and errbuf (size errbufLen)
 * receives a message naming the file, line and problem. */
TINDREL_API int pconf_parsepc(pconf_t **pc, char *errbuf, size_t errbufLen, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));
/* Parses configuration text held in memory. */
TINDREL_API int pconf_parsepcs(pconf_t **pc, char *errbuf, size_t errbufLen, const char *text);
TINDREL_API int pconf_create(pconf_t **pc);
TINDREL_API void pconf_release(pconf_t **pc);
/* With 1, later pconf_set calls create keys (and their parents) that do not exist yet. */
TINDREL_API int pconf_setcreatemissing(pconf_t *pc, int createMissing);

/* Getters: the key's value, or def when the key is missing or has no value of
 * that type. Keys are printf-style formats followed by their arguments.
 * pconf_getbool takes booleans and the strings "true"/"false"; the number
 * getters take integers and whole decimal strings within their range. The
 * text from pconf_getstr stays valid until that key is set or removed or the
 * configuration is released. */
TINDREL_API int pconf_getbool(pconf_t *pc, int def, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
TINDREL_API int32_t pconf_get32(pconf_t *pc, int32_t def, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
TINDREL_API uint32_t pconf_getu32(pconf_t *pc, uint32_t def, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
TINDREL_API const char *pconf_getstr(pconf_t *pc, const char *def, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));

/* Sets key to the string value; fails when the key is missing and creating
 * missing keys is off. */
TINDREL_API int pconf_set(pconf_t *pc, const char *value, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
/* Removes the key and everything below it; fails when the key is missing. */
TINDREL_API int pconf_remove(pconf_t *pc, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

/* Renders the whole configuration as text into buf. When the text and its
 * terminator do not fit, returns nonzero and leaves buf holding "" (never a
 * truncated configuration). */
TINDREL_API int pconf_renderpc(pconf_t *pc, char *buf, size_t bufLen);

/* Key/value records of server announcements. The records are made by the
 * device library, so these two are implemented in tindrel22 (net.cpp), not
 * in the companion library. */
TINDREL_API int32_t kvgeti32(kv_t kv, const char *key, int32_t def);
TINDREL_API const char *kvgetstrc(kv_t kv, const char *key, const char *def);

/* Directory reading. */
typedef struct mosdir {
    int eof;        /* set by mos_readdir when there are no more entries */
    int isdir;      /* the current entry is a directory */
    char name[256]; /* the current entry's name */
    void *priv;
} mosdir_t;

TINDREL_API int mos_opendir(void *iop, const char *path, mosdir_t **dir);
TINDREL_API int mos_readdir(void *iop, mosdir_t *dir);
TINDREL_API void mos_closedir(mosdir_t **dir);
/* Nonzero when str ends with suffix. */
TINDREL_API int mos_endswith(const char *str, const char *suffix);

#ifdef __cplusplus
}
#endif

#endif
