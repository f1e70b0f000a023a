// The clipboard by flavour: the current scrap, the flavours it holds (each named by a
// four-character code), their sizes and bytes, adding a flavour, and clearing it.
//
// Where a Qt GUI application runs in the process the scrap is the system clipboard; otherwise
// it is a store inside the process that behaves the same way. This library is loaded once per
// process, so every caller (the runtime's text copy, the clipboard bundle) sees one clipboard.
// Under a GUI application, calls are made on its thread; from another thread they answer
// scrapWrongThreadErr.
//
// Flavours:
//   'TEXT'  the clipboard's plain text as UTF-8 bytes (no terminating NUL).
//   'utxt'  the same text as UTF-16 little-endian units. 'TEXT' and 'utxt' are two views of
//           one text: both are present whenever the clipboard holds text, and putting either
//           replaces the text. A trailing odd byte of a 'utxt' put is not a whole unit and is
//           dropped; bytes that are not valid UTF-8 in a 'TEXT' put become U+FFFD.
//   'PICT'  present when the clipboard holds an image; its bytes are that image as PNG. A put
//           takes any image file format Qt reads (PNG, BMP, JPEG, ...).
//   other   kept under the MIME type "application/x-vellora-scrap-" followed by the code as
//           eight lowercase hex digits, bytes as given; any 32-bit code is allowed.
// Every flavour reports flags 0; the flags given to a put are ignored. Putting a flavour that
// is already present replaces it and keeps everything else the clipboard holds.
//
// Scrap references: a reference names one generation of the clipboard's contents. It is
// non-zero, at most 0x7FFFFFFF (so it fits a signed 32-bit integer), and changes whenever the
// contents change: a put, a clear, or a change made by anyone else. An operation given any
// other reference than the current one answers scrapStaleRefErr and does nothing, so a size
// and the data read with the same reference always belong to the same contents.
#ifndef VELLORA_SCRAP_SCRAP_H
#define VELLORA_SCRAP_SCRAP_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VELLORA_SCRAP_API __attribute__((visibility("default")))

typedef int32_t OSStatus;
typedef uint32_t ScrapRef;
typedef uint32_t ScrapFlavorType;  // first character in the most significant byte
typedef uint32_t ScrapFlavorFlags;

typedef struct ScrapFlavorInfo {
    ScrapFlavorType flavorType;
    ScrapFlavorFlags flavorFlags;
} ScrapFlavorInfo;

enum {
    kScrapFlavorTypeText = 0x54455854u,     // 'TEXT'
    kScrapFlavorTypeUnicode = 0x75747874u,  // 'utxt'
    kScrapFlavorTypePicture = 0x50494354u,  // 'PICT'
    kScrapFlavorFlagsNone = 0
};

enum {
    scrapNoErr = 0,
    scrapParamErr = -50,             // a null out-pointer, a negative size, no bytes for a size
    scrapStaleRefErr = -100,         // not the current scrap: the contents changed since
    scrapNoTypeErr = -102,           // the flavour is not on the clipboard
    scrapMemFullErr = -108,          // out of memory
    scrapBufferTooSmallErr = -4960,  // the flavour does not fit the given size
    scrapFlavorTooLargeErr = -4961,  // the flavour's size does not fit 32 bits
    scrapBadFlavorDataErr = -4962,   // 'PICT' bytes that are no image, or an image not encodable
    scrapWrongThreadErr = -4963,     // called off the GUI application's thread
    scrapUnavailableErr = -4964,     // the system clipboard cannot be had
    scrapInternalErr = -4965         // an unexpected failure inside this layer
};

// *scrap = the current scrap reference.
VELLORA_SCRAP_API OSStatus GetCurrentScrap(ScrapRef* scrap);

// scrapNoErr and *flags = 0 when the flavour is present; scrapNoTypeErr when not.
VELLORA_SCRAP_API OSStatus GetScrapFlavorFlags(ScrapRef scrap, ScrapFlavorType flavorType,
                                               ScrapFlavorFlags* flags);

// *byteCount = the flavour's size in bytes (0 for an empty flavour).
VELLORA_SCRAP_API OSStatus GetScrapFlavorSize(ScrapRef scrap, ScrapFlavorType flavorType,
                                              int32_t* byteCount);

// Copies the flavour's bytes to `destination`, which has room for *byteCount bytes, and sets
// *byteCount to the number copied. When the flavour is larger than that room nothing is
// copied, *byteCount is set to the size needed and the answer is scrapBufferTooSmallErr.
// `destination` may be null when *byteCount is 0.
VELLORA_SCRAP_API OSStatus GetScrapFlavorData(ScrapRef scrap, ScrapFlavorType flavorType,
                                              int32_t* byteCount, void* destination);

// Adds (or replaces) one flavour of `flavorSize` bytes; `flavorData` may be null when the
// size is 0. The scrap gets a new reference afterwards.
VELLORA_SCRAP_API OSStatus PutScrapFlavor(ScrapRef scrap, ScrapFlavorType flavorType,
                                          ScrapFlavorFlags flavorFlags, int32_t flavorSize,
                                          const void* flavorData);

// *infoCount = how many flavours the scrap holds.
VELLORA_SCRAP_API OSStatus GetScrapFlavorCount(ScrapRef scrap, uint32_t* infoCount);

// Fills `info` with up to *infoCount records, in the order 'TEXT', 'utxt', 'PICT', then the
// other flavours, and sets *infoCount to the number written. `info` may be null when
// *infoCount is 0.
VELLORA_SCRAP_API OSStatus GetScrapFlavorInfoList(ScrapRef scrap, uint32_t* infoCount,
                                                  ScrapFlavorInfo info[]);

// Empties the clipboard; the scrap gets a new reference.
VELLORA_SCRAP_API OSStatus ClearCurrentScrap(void);

#ifdef __cplusplus
}
#endif

#endif
