#ifndef KINDORA_PICTURES_RANDOM_CHOICE_H
#define KINDORA_PICTURES_RANDOM_CHOICE_H

#include <cstddef>
#include <cstdint>

#include "picture_decoder.h"
#include "texture.h"

// Buffer sizes of the random choice: a chosen name, and a folder joined with
// a name (1024 characters and the terminating NUL).
constexpr size_t kPictureNameBuffer = 1024;
constexpr size_t kJoinedPathChars = 1024;

// Entry names are at most 255 bytes; the lower-cased copy the match makes has
// room for more. A longer name cannot come from a folder and matches nothing.
constexpr size_t kLowerCopyBuffer = 1024;

// The extensions a picture folder offers, in the order they are counted.
extern const char* const kPictureExtensions[3];

// True when `name`, lower-cased, is longer than `ext` and ends with it.
// `ext` is compared as given (callers pass lower case). False for a name
// that does not fit the lower-cased copy (kLowerCopyBuffer with its NUL).
bool NameHasExtension(const char* name, const char* ext);

// Entries of `folder` (sub-folders too) whose names match `ext`; 0 when the
// folder cannot be opened.
int32_t CountFiles(const char* folder, const char* ext);

// Copies the name, case unchanged, of the n-th (from 0) entry of `folder`
// matching `ext` in listing order into `nameOut`, which holds at least
// kPictureNameBuffer bytes. False when there is no such entry.
bool FindNthFile(const char* folder, char* nameOut, const char* ext, int32_t n);

// Maps a draw r in [0, jpg + gif + png) to an extension and the index of the
// match within it: the ".jpg" files first, then ".gif", then ".png".
void ExtensionForDraw(int32_t jpg, int32_t gif, int32_t r, const char** ext, int32_t* index);

// Picks a picture file of `folder` at random with rand(), every accepted
// file with the same chance; its name goes to `nameOut` (kPictureNameBuffer
// bytes at least).
bool ChooseRandomImageFile(const char* folder, char* nameOut);

// Joins folder and name as the random choice does: a separator is added only
// when the folder is longer than two characters and does not end in '/'.
// False, with `out` empty, when the result would be longer than
// kJoinedPathChars; `out` holds kJoinedPathChars + 1 bytes.
bool JoinFolderAndName(const char* folder, const char* name, char* out);

// Loads a random picture of `folder` with loadPicFile. False, touching
// nothing, when no file can be chosen or the joined path is too long; a
// chosen file that fails to load is not replaced by another.
bool LoadPicture(const char* folder, Texture* texture, int sizeChoice, uint8_t** scaledOut,
                 int fireRes);

// LoadPicture that also gives the chosen path (`chosenPath`, at least
// kJoinedPathChars + 1 bytes, may be null) and the reason for a failure.
bool LoadPictureWithReason(const char* folder, Texture* texture, int sizeChoice,
                           uint8_t** scaledOut, int fireRes, char* chosenPath,
                           PictureReason* reason);

#endif
