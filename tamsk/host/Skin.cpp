#include "tamsk/host/Skin.h"

#include <cctype>
#include <limits>
#include <sstream>

#include "common/ReadFile.h"

namespace tamsk {

namespace {

constexpr int32_t kMaxSide = 4096;  // a picture larger than this is refused
constexpr int32_t kMaxCoordinate = 65536;  // regions lie within this square

bool ReadInt(std::istringstream& in, int32_t* value) {
    long long v;
    if (!(in >> v) || v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        return false;
    *value = int32_t(v);
    return true;
}

// The next header number of a PPM picture, skipping blanks and comments.
bool PpmNumber(const std::string& bytes, size_t* pos, int32_t* value) {
    for (;;) {
        while (*pos < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[*pos]))) ++*pos;
        if (*pos < bytes.size() && bytes[*pos] == '#') {
            while (*pos < bytes.size() && bytes[*pos] != '\n') ++*pos;
            continue;
        }
        break;
    }
    int64_t v = 0;
    size_t digits = 0;
    while (*pos < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[*pos]))) {
        v = v * 10 + (bytes[(*pos)++] - '0');
        if (v > kMaxSide * 16) return false;
        ++digits;
    }
    *value = int32_t(v);
    return digits > 0;
}

}  // namespace

bool SkinParsePpm(const std::string& bytes, std::vector<uint32_t>* pixels, int32_t* width,
                  int32_t* height, std::string* error) {
    size_t pos = 2;
    int32_t w, h, max;
    if (bytes.compare(0, 2, "P6") != 0 || !PpmNumber(bytes, &pos, &w) || !PpmNumber(bytes, &pos, &h) ||
        !PpmNumber(bytes, &pos, &max) || pos >= bytes.size()) {
        *error = "not a binary PPM picture";
        return false;
    }
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide || max != 255) {
        *error = "PPM picture of unsupported size or depth";
        return false;
    }
    ++pos;  // the one blank after the header
    const size_t need = size_t(w) * size_t(h) * 3;
    if (bytes.size() - pos < need) {
        *error = "PPM picture is cut short";
        return false;
    }
    pixels->resize(size_t(w) * size_t(h));
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + pos);
    for (size_t i = 0; i < pixels->size(); ++i)
        (*pixels)[i] = uint32_t(p[3 * i]) << 16 | uint32_t(p[3 * i + 1]) << 8 | p[3 * i + 2];
    *width = w;
    *height = h;
    return true;
}

void SkinRotate(std::vector<uint32_t>* pixels, int32_t* width, int32_t* height, int32_t degrees) {
    if (degrees != 90 && degrees != 180 && degrees != 270) return;
    const int32_t w = *width, h = *height;
    std::vector<uint32_t> out(pixels->size());
    const int32_t ow = degrees == 180 ? w : h;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            int32_t nx, ny;
            if (degrees == 90) {
                nx = h - 1 - y;
                ny = x;
            } else if (degrees == 180) {
                nx = w - 1 - x;
                ny = h - 1 - y;
            } else {
                nx = y;
                ny = w - 1 - x;
            }
            out[size_t(ny) * size_t(ow) + size_t(nx)] = (*pixels)[size_t(y) * size_t(w) + size_t(x)];
        }
    }
    *pixels = std::move(out);
    if (degrees != 180) std::swap(*width, *height);
}

bool SkinParse(const std::string& text, const std::string& folder, Skin* skin, std::string* error) {
    Skin result;
    std::string bitmapName;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        std::istringstream in(line);
        std::string word;
        if (!(in >> word)) continue;
        bool ok = true;
        if (word == "bitmap") {
            ok = bool(in >> bitmapName);
        } else if (word == "rotation") {
            ok = ReadInt(in, &result.rotation) && result.rotation % 90 == 0 && result.rotation >= 0 &&
                 result.rotation < 360;
        } else if (word == "lcd") {
            ok = ReadInt(in, &result.lcdLeft) && ReadInt(in, &result.lcdTop) && result.lcdLeft >= 0 &&
                 result.lcdTop >= 0 && result.lcdLeft < kMaxSide && result.lcdTop < kMaxSide;
        } else if (word == "key" || word == "touch") {
            SkinRegion region{};
            int32_t key = 0;
            ok = ReadInt(in, &region.left) && ReadInt(in, &region.right) && ReadInt(in, &region.top) &&
                 ReadInt(in, &region.bottom) && (word == "touch" || ReadInt(in, &key)) &&
                 region.left >= 0 && region.top >= 0 && region.right < kMaxCoordinate &&
                 region.bottom < kMaxCoordinate && region.left <= region.right &&
                 region.top <= region.bottom && key >= 0 && key < 100;
            region.code = word == "touch" ? kSkinTouchCode : uint32_t(key);
            if (ok) result.regions.push_back(region);
        } else {
            ok = false;
        }
        std::string extra;
        if (ok && in >> extra) ok = false;
        if (!ok) {
            *error = "line " + std::to_string(number) + ": \"" + line + "\" is not a skin item";
            return false;
        }
    }
    if (!bitmapName.empty()) {
        std::string bytes;
        const std::string path = folder.empty() ? bitmapName : folder + "/" + bitmapName;
        if (!vantor::ReadWholeFile(path, &bytes)) {
            *error = path + ": the picture cannot be read";
            return false;
        }
        if (!SkinParsePpm(bytes, &result.bitmap, &result.width, &result.height, error)) {
            *error = path + ": " + *error;
            return false;
        }
        SkinRotate(&result.bitmap, &result.width, &result.height, result.rotation);
    }
    *skin = std::move(result);
    return true;
}

bool SkinLoad(const std::string& path, Skin* skin, std::string* error) {
    std::string text;
    if (!vantor::ReadWholeFile(path, &text)) {
        *error = path + ": the skin file cannot be read";
        return false;
    }
    const size_t slash = path.rfind('/');
    return SkinParse(text, slash == std::string::npos ? "." : path.substr(0, slash), skin, error);
}

const SkinRegion* SkinRegionAt(const Skin& skin, int32_t x, int32_t y) {
    for (const SkinRegion& region : skin.regions)
        if (x >= region.left && x <= region.right && y >= region.top && y <= region.bottom)
            return &region;
    return nullptr;
}

void SkinTurnTouch(int32_t rotation, int32_t width, int32_t height, int32_t* x, int32_t* y) {
    const int32_t px = *x, py = *y;
    switch (rotation) {
        case 90: *x = height - py; *y = px; break;
        case 180: *x = width - px; *y = height - py; break;
        case 270: *x = py; *y = width - px; break;
        default: break;
    }
}

}  // namespace tamsk
