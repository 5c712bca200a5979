#include "background.h"

#include <cstdio>
#include <cstring>

#include "picfile.h"

namespace {

// Prefixes the reason with what failed, so that it reads "FILE: why".
void NameTheFailure(const char* what, PictureReason* reason) {
    char cause[sizeof reason->text];
    memcpy(cause, reason->text, sizeof cause);
    if (!cause[0]) snprintf(cause, sizeof cause, "cannot be loaded");
    SetReason(reason, "%s: %s", what ? what : "(null)", cause);
}

// A record used before gives up its old copy first.
void Restart(int fireRes, BackgroundPicture* out) {
    delete[] out->fireCopy;
    out->fireCopy = nullptr;
    out->fireSide = FireSideFor(fireRes);
    out->path[0] = '\0';
    out->reason.text[0] = '\0';
}

bool FinishLoad(bool built, const char* what, BackgroundPicture* out) {
    if (built && !out->fireCopy) {
        SetReason(&out->reason, "no memory for the fire-sized copy");
        built = false;
    }
    if (!built) NameTheFailure(what, &out->reason);
    return built;
}

}  // namespace

bool LoadBackgroundFile(const char* path, int sizeChoice, int fireRes, BackgroundPicture* out) {
    Restart(fireRes, out);
    if (path) snprintf(out->path, sizeof out->path, "%s", path);
    const bool built = LoadPicFileWithReason(path, &out->texture, sizeChoice, &out->fireCopy,
                                             fireRes, &out->reason);
    return FinishLoad(built, path, out);
}

bool LoadBackgroundFromFolder(const char* folder, int sizeChoice, int fireRes,
                              BackgroundPicture* out) {
    Restart(fireRes, out);
    const bool built = LoadPictureWithReason(folder, &out->texture, sizeChoice, &out->fireCopy,
                                             fireRes, out->path, &out->reason);
    return FinishLoad(built, out->path[0] ? out->path : folder, out);
}
