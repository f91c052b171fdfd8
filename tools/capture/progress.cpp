// A one-line progress bar: redrawn in place on a terminal, a line every few
// seconds into a log file.
#include "tools/capture/progress.h"

#include <unistd.h>

#include <algorithm>

namespace capture {

Progress::Progress(int64_t total, FILE *out) : total_(std::max<int64_t>(total, 1)), out_(out)
{
    start_ = last_ = std::chrono::steady_clock::now();
}

void Progress::Update(int64_t frames)
{
    auto now = std::chrono::steady_clock::now();
    bool tty = isatty(fileno(out_));
    if (drawn_ && now - last_ < std::chrono::milliseconds(tty ? 250 : 5000))
        return;
    last_ = now;
    Draw(frames);
    if (!tty)
        fputc('\n', out_);
}

void Progress::Finish(int64_t frames)
{
    total_ = std::max(total_, frames);
    Draw(frames);
    fputc('\n', out_);
    fflush(out_);
}

void Progress::Draw(int64_t frames)
{
    drawn_ = true;
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    double done = std::min(1.0, (double)frames / (double)total_);
    double fps = secs > 0 ? (double)frames / secs : 0.0;
    long left = fps > 0 ? (long)((double)std::max<int64_t>(total_ - frames, 0) / fps + 0.5) : 0;
    const int width = 30;
    char bar[width + 1];
    int filled = (int)(done * width);
    for (int i = 0; i < width; i++)
        bar[i] = i < filled ? '#' : '-';
    bar[width] = 0;
    fprintf(out_, "\r[%s] %5.1f%%  %lld/%lld frames  %6.1f fps  %ld:%02ld left ", bar, done * 100.0,
            (long long)frames, (long long)total_, fps, left / 60, left % 60);
    fflush(out_);
}

} // namespace capture
