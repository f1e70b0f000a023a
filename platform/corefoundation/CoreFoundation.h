// File URLs and UTF-16 strings, the few reference-counted values the speech bundle builds to
// name a sound file. Every Create or Copy result carries one reference for the caller, who
// gives it back with CFRelease; NULL is the failure value.
#ifndef VELLORA_CF_COREFOUNDATION_H
#define VELLORA_CF_COREFOUNDATION_H

#include <stdint.h>

#include "platform/corefoundation/Files.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned char Boolean;
typedef int64_t CFIndex;
typedef uint16_t UniChar;
typedef const void* CFTypeRef;
typedef const struct __CFAllocator* CFAllocatorRef;  // only NULL, the default, is used
typedef const struct __CFString* CFStringRef;
typedef struct __CFString* CFMutableStringRef;
typedef const struct __CFURL* CFURLRef;

typedef enum {
    kCFStringNormalizationFormD = 0,  // canonical decomposition
    kCFStringNormalizationFormKD = 1,
    kCFStringNormalizationFormC = 2,
    kCFStringNormalizationFormKC = 3
} CFStringNormalizationForm;

// The file URL of an existing file or folder, or NULL.
CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const FSRef* ref);

// A string of `count` UTF-16 units, or NULL.
CFStringRef CFStringCreateWithCharacters(CFAllocatorRef allocator, const UniChar* chars,
                                         CFIndex count);

// A mutable copy of `string` (maxLength 0: no limit), or NULL.
CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef allocator, CFIndex maxLength,
                                             CFStringRef string);

// Rewrites `string` in place in the given normalisation form.
void CFStringNormalize(CFMutableStringRef string, CFStringNormalizationForm form);

// The URL of `url` with one more path component, or NULL when the name is empty, "." or "..",
// or holds '/', a NUL or an unpaired surrogate. `isDirectory` is ignored: paths carry no
// trailing slash.
CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef allocator, CFURLRef url,
                                               CFStringRef pathComponent, Boolean isDirectory);

// The URL's file-system path, NUL-terminated UTF-8, into `buffer`; false when it does not fit.
Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, uint8_t* buffer,
                                         CFIndex maxBufLen);

// The string's UTF-16 units: its length, and a copy of units [start, start + length).
CFIndex CFStringGetLength(CFStringRef string);
void CFStringGetCharacters(CFStringRef string, CFIndex start, CFIndex length, UniChar* buffer);

CFTypeRef CFRetain(CFTypeRef value);
void CFRelease(CFTypeRef value);  // NULL is ignored

#ifdef __cplusplus
}
#endif

#endif
