/* vrcore portable paths. The library keeps file paths in one notation:
 * "/" separates components and a drive is a letter followed by "|"
 * ("C|/Tessaril"). They become native paths only when a file is opened.
 *
 * Lengths count the terminating NUL. Paths are read as multibyte text of
 * the current locale (LC_CTYPE): a "|", ":" or "/" byte inside a multibyte
 * character is never mistaken for the character itself. Functions return
 * 0 or a code of facility 0x15 directly. */
#ifndef VRCORE_FA_H
#define VRCORE_FA_H

#include "vrdefs.h"

VR_BEGIN_DECLS

#define FA_S_NORESULT 0xC0150065u   /* no result argument */
#define FA_S_NOPATH 0xC0150066u     /* no path */
#define FA_S_ZEROLENGTH 0xC0150067u /* length 0 */
#define FA_S_NOCONVOUT 0xC0150068u  /* no output arguments (convert) */
#define FA_S_NOREVOUT 0xC0150069u   /* no output arguments (revert) */
#define FA_S_NOMEM 0xC015006Au      /* not enough memory */
#define FA_S_BADCHAR 0xC015006Bu    /* invalid multibyte text, or only white space */
#define FA_S_INTERNAL 0xC015006Cu   /* unexpected internal failure */

/* Path classes. */
#define FA_PATH_ABSOLUTE 0       /* "/dir" or "C|/dir" */
#define FA_PATH_RELATIVE 1       /* "dir/file" */
#define FA_PATH_DRIVE_RELATIVE 2 /* "C|dir" */

/* Classifies a path, leading white space skipped. The whole path must be
 * valid multibyte text. */
VR_EXPORT uint32_t FA_CheckFilePath(const char *path, size_t length, int *path_class);

/* Allocates the native form of a portable path ("|" becomes ":", "/" stays
 * the separator); *converted_length counts its NUL. Release the result with
 * FA_FreeFilePath. On failure the outputs are left alone. */
VR_EXPORT uint32_t FA_ConvertFilePath(const char *path, size_t length, char **converted,
                                      size_t *converted_length);

/* The reverse of FA_ConvertFilePath: ":" becomes "|". */
VR_EXPORT uint32_t FA_RevertFilePath(const char *path, size_t length, char **converted,
                                     size_t *converted_length);

/* Releases a path returned by FA_ConvertFilePath or FA_RevertFilePath. */
VR_EXPORT void FA_FreeFilePath(char *path);

VR_END_DECLS

#endif /* VRCORE_FA_H */
