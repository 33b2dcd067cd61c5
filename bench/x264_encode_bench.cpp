// H264EncodeData throughput against the installed ffmpeg CLI with libx264 at
// the same settings, on the same BGR24 pictures, in the same run.
//
// Usage: x264_encode_bench [pictures]   (default 150 per size)
// Prints CPU milliseconds per picture for both and the ratio ours / ffmpeg.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/picture_format.h"
#include "ox_lib264_encoder.h"
#include "testing/media_check.h"

namespace {

double cpuSeconds(const rusage& u) {
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double selfCpu() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return cpuSeconds(u);
}

// CPU seconds of our encoder for count pictures.
double oursCpu(int width, int height, const std::vector<std::vector<uint8_t>>& pictures, int count) {
  const BITMAPINFOHEADER h = lessonry::makeBgr24Header(width, height);
  H264EncoderHandle enc = H264EncoderCreate();
  H264EncoderStart(enc, &h, 1000);
  const double start = selfCpu();
  long bytes = 0;
  for (int i = 0; i < count; ++i) {
    BYTE* out = nullptr;
    int32_t size = 0, key = 0;
    int64_t pts = 0;
    const auto& p = pictures[static_cast<size_t>(i) % pictures.size()];
    H264EncodeData(enc, p.data(), static_cast<int32_t>(p.size()), i * 40, &out, &size, &pts, &key);
    bytes += size;
  }
  H264EncoderStop(enc);
  const double cpu = selfCpu() - start;
  H264EncoderDelete(enc);
  std::printf("  ours:   %ld bytes of H.264\n", bytes);
  return cpu;
}

// CPU seconds of an ffmpeg child encoding the same pictures read from a pipe.
double ffmpegCpu(int width, int height, const std::vector<std::vector<uint8_t>>& pictures, int count) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  const pid_t child = fork();
  if (child == 0) {
    dup2(fds[0], 0);
    close(fds[0]);
    close(fds[1]);
    execlp("ffmpeg", "ffmpeg", "-hide_banner", "-loglevel", "error", "-f", "rawvideo", "-pix_fmt", "bgr24", "-s",
           size.c_str(), "-r", "25", "-i", "pipe:0", "-sws_flags", "fast_bilinear", "-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset", "superfast", "-profile:v",
           "baseline", "-b:v", "1000k", "-x264-params", "keyint=infinite:level=3.2:qpmin=5:qpmax=51:sync-lookahead=0",
           "-f", "null", "-", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[0]);
  signal(SIGPIPE, SIG_IGN);
  const int stride = lessonry::dibStride(width, 24);
  for (int i = 0; i < count; ++i) {
    const auto& p = pictures[static_cast<size_t>(i) % pictures.size()];
    // Raw rows without DIB padding (the widths here are multiples of 4).
    for (int y = 0; y < height; ++y) {
      const uint8_t* row = p.data() + static_cast<size_t>(y) * stride;
      size_t left = static_cast<size_t>(width) * 3;
      while (left > 0) {
        const ssize_t n = write(fds[1], row, left);
        if (n <= 0) break;
        row += n;
        left -= static_cast<size_t>(n);
      }
    }
  }
  close(fds[1]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return cpuSeconds(usage);
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(10, std::atoi(argv[1])) : 150;
  std::printf("H264EncodeData against ffmpeg/libx264 (superfast, baseline, ABR 1000 kbit/s), %d pictures each\n",
              count);
  for (auto [width, height] : {std::pair{1920, 1080}, std::pair{2320, 1080}}) {
    std::vector<std::vector<uint8_t>> pictures;
    for (int i = 0; i < 25; ++i) pictures.push_back(lessonry::testing::movingPicture(width, height, i));
    std::printf("%dx%d BGR24:\n", width, height);
    const double ours = oursCpu(width, height, pictures, count);
    const double theirs = ffmpegCpu(width, height, pictures, count);
    if (theirs <= 0) {
      std::printf("  ffmpeg did not run\n");
      continue;
    }
    std::printf("  ours:   %.2f ms CPU per picture\n", ours * 1000 / count);
    std::printf("  ffmpeg: %.2f ms CPU per picture\n", theirs * 1000 / count);
    std::printf("  ratio ours/ffmpeg: %.2f (target <= 1.0)\n", ours / theirs);
  }
  return 0;
}
