// Writes the two fader thumb pictures as 24-bit BMP files into the given
// folder: tovani_vslider.bmp (14 x 26) and tovani_hslider.bmp (23 x 14).
// Magenta is the transparent colour. A host tool, so plain standard C++.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Pixel {
    std::uint8_t r, g, b;
};

constexpr Pixel kKey{255, 0, 255};

struct Picture {
    int width, height;
    std::vector<Pixel> pixels;
    Picture(int w, int h) : width(w), height(h), pixels(std::size_t(w) * h, kKey) {}
    Pixel& at(int x, int y) { return pixels[std::size_t(y) * width + x]; }
};

// A rounded cap with a light top-left edge, a dark outline and a grip line
// across the direction of travel.
Picture drawThumb(int w, int h, bool vertical) {
    Picture p(w, h);
    const double radius = 3.0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double cx = std::max(radius, std::min(double(w) - 1 - radius, double(x)));
            const double cy = std::max(radius, std::min(double(h) - 1 - radius, double(y)));
            const double d = std::hypot(x - cx, y - cy);
            if (d > radius + 0.35) continue;  // outside the rounded corner
            const bool edge = d > radius - 0.65 || x == 0 || y == 0 || x == w - 1 || y == h - 1;
            const double shade = 1.0 - 0.35 * (double(x) / w + double(y) / h) / 2.0;
            const std::uint8_t grey = std::uint8_t(120 + 110 * shade);
            p.at(x, y) = edge ? Pixel{48, 48, 56} : Pixel{grey, grey, std::uint8_t(grey + 8 > 255 ? 255 : grey + 8)};
        }
    }
    // The grip: a dark line with a light one beside it, across the travel.
    if (vertical) {
        const int y = h / 2;
        for (int x = 2; x < w - 2; ++x) {
            p.at(x, y - 1) = Pixel{40, 40, 40};
            p.at(x, y) = Pixel{250, 250, 250};
        }
    } else {
        const int x = w / 2;
        for (int y = 2; y < h - 2; ++y) {
            p.at(x - 1, y) = Pixel{40, 40, 40};
            p.at(x, y) = Pixel{250, 250, 250};
        }
    }
    return p;
}

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

bool writeBmp(const std::string& path, Picture& p) {
    const std::uint32_t rowBytes = (std::uint32_t(p.width) * 3 + 3) & ~3u;
    const std::uint32_t imageBytes = rowBytes * std::uint32_t(p.height);
    std::vector<std::uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    put32(out, 14 + 40 + imageBytes);
    put32(out, 0);
    put32(out, 14 + 40);
    put32(out, 40);
    put32(out, std::uint32_t(p.width));
    put32(out, std::uint32_t(p.height));  // positive: bottom-up rows
    put16(out, 1);
    put16(out, 24);
    put32(out, 0);  // no compression
    put32(out, imageBytes);
    put32(out, 2835);
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    for (int y = p.height - 1; y >= 0; --y) {
        for (int x = 0; x < p.width; ++x) {
            const Pixel& px = p.at(x, y);
            out.push_back(px.b);
            out.push_back(px.g);
            out.push_back(px.r);
        }
        for (std::uint32_t pad = std::uint32_t(p.width) * 3; pad < rowBytes; ++pad) out.push_back(0);
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER...\n", argv[0]);
        return 2;
    }
    Picture vertical = drawThumb(14, 26, true);
    Picture horizontal = drawThumb(23, 14, false);
    for (int i = 1; i < argc; ++i) {
        const std::string folder = argv[i];
        if (!writeBmp(folder + "/tovani_vslider.bmp", vertical) ||
            !writeBmp(folder + "/tovani_hslider.bmp", horizontal)) {
            std::fprintf(stderr, "%s: cannot write into %s\n", argv[0], folder.c_str());
            return 1;
        }
    }
    return 0;
}
