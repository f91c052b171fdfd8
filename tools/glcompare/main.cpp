// Compares what the fixed-function GL and the GL 1.x layer over ES 3 drew.
//
//   glcompare A.png B.png
//     pixels that differ, their share and the largest difference of a value;
//     exit status 0 when the pictures are identical, 1 when not, 2 on error.
//   glcompare -hashes A.txt B.txt
//     the -hashes files of two whole runs, per timeline entry: frames
//     compared, frames identical, and the first differing frame's demo time
//     (to re-render with -shot); exit status 0 when every frame agrees.
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/core.h"

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
};

bool ReadPNG(const char *path, Picture *pic)
{
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path)) {
        fprintf(stderr, "glcompare: cannot read %s: %s\n", path, image.message);
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    pic->width = (int)image.width;
    pic->height = (int)image.height;
    pic->rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pic->rgb.data(), 0, nullptr)) {
        fprintf(stderr, "glcompare: cannot decode %s: %s\n", path, image.message);
        return false;
    }
    return true;
}

int ComparePictures(const char *a_path, const char *b_path)
{
    Picture a, b;
    if (!ReadPNG(a_path, &a) || !ReadPNG(b_path, &b))
        return 2;
    if (a.width != b.width || a.height != b.height) {
        fprintf(stderr, "glcompare: sizes differ (%dx%d, %dx%d)\n", a.width, a.height, b.width, b.height);
        return 2;
    }
    long differing = 0;
    int largest = 0, first_x = -1, first_y = -1;
    long first = 0;
    const long pixels = (long)a.width * a.height;
    for (long p = 0; p < pixels; p++) {
        int d = 0;
        for (int c = 0; c < 3; c++)
            d = std::max(d, std::abs((int)a.rgb[p * 3 + c] - (int)b.rgb[p * 3 + c]));
        if (d) {
            if (!differing) {
                first = p;
                first_x = (int)(p % a.width);
                first_y = a.height - 1 - (int)(p / a.width);
            }
            differing++;
            largest = std::max(largest, d);
        }
    }
    printf("%ld of %ld pixels differ (%.4f %%), largest difference %d", differing, pixels,
           100.0 * differing / pixels, largest);
    if (differing)
        printf(", first at x %d y %d (from the bottom): %d %d %d against %d %d %d", first_x, first_y,
               a.rgb[first * 3], a.rgb[first * 3 + 1], a.rgb[first * 3 + 2], b.rgb[first * 3], b.rgb[first * 3 + 1],
               b.rgb[first * 3 + 2]);
    printf("\n");
    return differing ? 1 : 0;
}

struct HashLine {
    long frame;
    double time;
    std::string hash;
};

bool ReadHashes(const char *path, std::vector<HashLine> *lines)
{
    std::ifstream in(path);
    if (!in) {
        fprintf(stderr, "glcompare: cannot read %s\n", path);
        return false;
    }
    std::string text;
    while (std::getline(in, text)) {
        std::istringstream fields(text);
        HashLine l;
        if (!(fields >> l.frame >> l.time >> l.hash)) {
            fprintf(stderr, "glcompare: %s: not a -hashes line: %s\n", path, text.c_str());
            return false;
        }
        lines->push_back(l);
    }
    return true;
}

int CompareHashes(const char *a_path, const char *b_path)
{
    std::vector<HashLine> a, b;
    if (!ReadHashes(a_path, &a) || !ReadHashes(b_path, &b))
        return 2;
    if (a.size() != b.size()) {
        fprintf(stderr, "glcompare: the runs have %zu and %zu frames\n", a.size(), b.size());
        return 2;
    }
    // The entry of a frame from its demo time and the timeline's start times.
    Timeline_Prepare(&timeline_header, 0);
    struct Row {
        long frames = 0, same = 0;
        double first_diff = NAN;
    };
    std::vector<Row> rows(TL_ENTRIES);
    long same = 0;
    for (size_t i = 0; i < a.size(); i++) {
        if (a[i].frame != b[i].frame || a[i].time != b[i].time) {
            fprintf(stderr, "glcompare: line %zu: the runs disagree on the frame or its time\n", i + 1);
            return 2;
        }
        int entry = 0;
        while (entry + 1 < TL_ENTRIES && a[i].time >= timeline_table[entry + 1].start - 0.0005)
            entry++;
        Row &r = rows[entry];
        r.frames++;
        if (a[i].hash == b[i].hash) {
            r.same++;
            same++;
        } else if (std::isnan(r.first_diff)) {
            r.first_diff = a[i].time;
        }
    }
    printf("entry  frames  identical  first differing (demo time)\n");
    for (int e = 0; e < TL_ENTRIES; e++)
        if (rows[e].frames) {
            printf("%5d  %6ld  %9ld", e, rows[e].frames, rows[e].same);
            if (!std::isnan(rows[e].first_diff))
                printf("  %+.3f", rows[e].first_diff);
            printf("\n");
        }
    printf("all    %6zu  %9ld  (%.2f %% identical)\n", a.size(), same, 100.0 * same / (double)a.size());
    return same == (long)a.size() ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && !strcmp(argv[1], "-hashes"))
        return CompareHashes(argv[2], argv[3]);
    if (argc == 3)
        return ComparePictures(argv[1], argv[2]);
    fprintf(stderr, "usage: glcompare A.png B.png\n       glcompare -hashes A.txt B.txt\n");
    return 2;
}
