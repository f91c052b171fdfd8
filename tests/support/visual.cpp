// Visual test support on top of the capture tool's session.
#include "tests/support/visual.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "archive/zar.h"
#include "core/core.h"
#include "tools/capture/session.h"

namespace visual {

namespace {

bool started;
bool have_frame;
capture::FrameInfo last;

std::string Real(float v)
{
    char text[32];
    snprintf(text, sizeof text, "%.9g", (double)v);
    return text;
}

bool Start(const capture::SessionConfig &config)
{
    if (started) {
        ADD_FAILURE() << "one run per test process: run the visual tests through ctest, "
                         "or one at a time with --gtest_filter";
        return false;
    }
    std::string err;
    // The expected pixels are the software rasteriser's, GPU or not.
    capture::SessionConfig software = config;
    software.software = true;
    if (!capture::Session_Open(software, &err)) {
        ADD_FAILURE() << "cannot start the run: " << err;
        return false;
    }
    started = true;
    return true;
}

void Fill(Frame *frame)
{
    frame->rgb = capture::Session_Picture();
    frame->index = last.index;
    frame->demo_time = last.demo_time;
    frame->entry = last.entry;
    frame->held = last.held;
}

// Steps until done(last) holds; false (with a test failure) if the run ends first.
template <class Done> bool StepUntil(Done done, Frame *frame, const char *what)
{
    if (!started) {
        ADD_FAILURE() << "no run started";
        return false;
    }
    while (!have_frame || !done(last)) {
        if (!capture::Session_Step(&last)) {
            ADD_FAILURE() << "the run ended (frame " << last.index << ", demo time " << last.demo_time
                          << ") before " << what;
            return false;
        }
        have_frame = true;
    }
    Fill(frame);
    return true;
}

} // namespace

Rgb Frame::At(int x, int y) const
{
    const uint8_t *p = &rgb[((size_t)(capture::kHeight - 1 - y) * capture::kWidth + (size_t)x) * 3];
    return Rgb{p[0], p[1], p[2]};
}

bool ArchivePresent()
{
    return access(capture::kArchivePath, R_OK) == 0;
}

bool SceneLanded(int entry)
{
    return entry >= 0 && entry < TL_ENTRIES && timeline_table[entry].render != nullptr;
}

bool StartDebug(float start, float end, int offset, int fps)
{
    capture::SessionConfig config;
    config.fps = fps;
    config.debug = true;
    config.window = capture::DebugWindow{Real(start), Real(end), std::to_string(offset)};
    config.keep_pictures = true;
    return Start(config);
}

bool StartNormal(int fps)
{
    capture::SessionConfig config;
    config.fps = fps;
    config.keep_pictures = true;
    return Start(config);
}

bool CaptureAt(float t, Frame *frame)
{
    return StepUntil([t](const capture::FrameInfo &f) { return f.demo_time >= t; }, frame,
                     ("demo time " + Real(t)).c_str());
}

bool CaptureFrame(int64_t index, Frame *frame)
{
    return StepUntil([index](const capture::FrameInfo &f) { return f.index >= index; }, frame,
                     ("frame " + std::to_string(index)).c_str());
}

RegionStats Stats(const Frame &frame, Rect rect)
{
    RegionStats s;
    s.min = Rgb{255, 255, 255};
    double sum[3] = {0, 0, 0};
    for (int y = rect.y0; y < rect.y1; y++) {
        for (int x = rect.x0; x < rect.x1; x++) {
            Rgb c = frame.At(x, y);
            int v[3] = {c.r, c.g, c.b};
            int *lo[3] = {&s.min.r, &s.min.g, &s.min.b};
            int *hi[3] = {&s.max.r, &s.max.g, &s.max.b};
            for (int k = 0; k < 3; k++) {
                sum[k] += v[k];
                if (v[k] < *lo[k])
                    *lo[k] = v[k];
                if (v[k] > *hi[k])
                    *hi[k] = v[k];
            }
            s.pixels++;
        }
    }
    for (int k = 0; k < 3 && s.pixels; k++)
        s.mean[k] = sum[k] / (double)s.pixels;
    return s;
}

static bool Near(Rgb a, Rgb b, int tol)
{
    return std::abs(a.r - b.r) <= tol && std::abs(a.g - b.g) <= tol && std::abs(a.b - b.b) <= tol;
}

double ShareNear(const Frame &frame, Rect rect, Rgb colour, int tol)
{
    long total = 0, near = 0;
    for (int y = rect.y0; y < rect.y1; y++)
        for (int x = rect.x0; x < rect.x1; x++, total++)
            near += Near(frame.At(x, y), colour, tol);
    return total ? (double)near / (double)total : 0.0;
}

::testing::AssertionResult ColourNear(const Frame &frame, int x, int y, Rgb want, int tol)
{
    Rgb got = frame.At(x, y);
    if (Near(got, want, tol))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") of frame " << frame.index
                                         << " (demo time " << frame.demo_time << ", entry " << frame.entry
                                         << ") is " << got << ", expected " << want << " +-" << tol;
}

::testing::AssertionResult RegionIs(const Frame &frame, Rect rect, Rgb want, int tol)
{
    long bad = 0;
    int first_x = 0, first_y = 0;
    for (int y = rect.y0; y < rect.y1; y++)
        for (int x = rect.x0; x < rect.x1; x++)
            if (!Near(frame.At(x, y), want, tol) && bad++ == 0) {
                first_x = x;
                first_y = y;
            }
    if (!bad)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << bad << " pixels of [" << rect.x0 << ", " << rect.x1 << ") x ["
                                         << rect.y0 << ", " << rect.y1 << ") in frame " << frame.index
                                         << " (demo time " << frame.demo_time << ", entry " << frame.entry
                                         << ") are not " << want << " +-" << tol << "; the first, at (" << first_x
                                         << ", " << first_y << "), is " << frame.At(first_x, first_y);
}

std::ostream &operator<<(std::ostream &out, const Rgb &c)
{
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

Picture::Picture(const char *name)
{
    ZAR_Open(capture::kArchivePath);
    pic_ = ZAR_ReadPic(name);
    ZAR_Close();
}

Picture::~Picture()
{
    free(pic_->pixels);
    free(pic_);
}

int Picture::Width() const
{
    return (int)(pic_->tile_w * pic_->tiles_x);
}

int Picture::Height() const
{
    return (int)(pic_->tile_h * pic_->tiles_y);
}

Rgb Picture::At(int x, int y) const
{
    const size_t w = pic_->tile_w, h = pic_->tile_h;
    const size_t tile = (size_t)(y / (int)h) * pic_->tiles_x + (size_t)(x / (int)w);
    const uint8_t *p = pic_->pixels + 3 * (tile * w * h + (h - 1 - (size_t)y % h) * w + (size_t)x % w);
    return Rgb{p[0], p[1], p[2]};
}

long Mismatches(const Frame &frame, const Picture &picture, int x0, int y0, Rect rect)
{
    long wrong = 0;
    for (int y = rect.y0; y < rect.y1; y++)
        for (int x = rect.x0; x < rect.x1; x++) {
            const Rgb got = frame.At(x, y), want = picture.At(x - x0, y - y0);
            wrong += got.r != want.r || got.g != want.g || got.b != want.b;
        }
    return wrong;
}

} // namespace visual
