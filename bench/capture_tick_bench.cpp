// One capture tick (screen capture, 32-to-24-bit conversion, cut or
// composition, logo; no encoding) on a private 1920 x 1080 Xvfb, in mode 0
// (1920 x 1080) and mode 2 (2320 x 1080 with a 640 x 480 camera picture),
// whole screen and region, against the installed ffmpeg grabbing the same
// screen with x11grab and converting to the same 24-bit format, in the same
// run. Prints milliseconds per picture (wall and CPU) and the ratios. Then
// records the same screen in mode 2 in real time with encoding, as a
// recording runs, and prints how the 40 ms ticks kept up.
//
// Usage: capture_tick_bench [ticks] [seconds]   (default 300 ticks, 10 s)
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../capture/compose/tests/fake_renders.h"
#include "base/clock.h"
#include "composition.h"
#include "screen_capture.h"
#include "screen_recorder.h"
#include "testing/painted_window.h"
#include "testing/xvfb.h"

extern char** environ;

namespace {

using lessonry::CScreenCapture;
using lessonry::capture::CComposition;

struct Figures {
  double wallMs = 0;  // per picture
  double cpuMs = 0;   // per picture, this process (or the child) only
};

double processCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

// Ticks of our composition in the given mode; region: the cut of 1280 x 720.
Figures ours(int mode, bool region, int ticks) {
  CScreenCapture screen;
  CComposition composition(screen);
  lessonry::capture::testing::FakeVideoRender camera;
  camera.setPicture(640, 480, 24, 30, 200, 120);
  composition.sources().insert(1, &camera, nullptr);
  composition.sources().selectPicture(composition.sources().find(1));
  if (region) screen.SendVGACutRect(320, 180, 1280, 720, false);
  composition.SetCompositeMode(mode, 0, 0);
  for (int i = 0; i < 10; ++i) composition.composeTick();  // warm-up: scalers, shared memory
  const auto start = std::chrono::steady_clock::now();
  const double cpuStart = processCpuSeconds();
  int pictures = 0;
  for (int i = 0; i < ticks; ++i) pictures += composition.composeTick() ? 1 : 0;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = processCpuSeconds() - cpuStart;
  if (pictures != ticks || composition.counters().screenMisses != 0)
    std::fprintf(stderr, "warning: %d pictures of %d ticks, %llu screen misses\n", pictures, ticks,
                 static_cast<unsigned long long>(composition.counters().screenMisses));
  composition.release();
  return {wall * 1000 / ticks, cpu * 1000 / ticks};
}

// One ffmpeg run grabbing frames pictures; wall and CPU seconds of the child.
bool runFfmpeg(const std::string& display, const char* size, const char* offset, int frames, double* wall,
               double* cpu) {
  const std::string input = display + offset;
  const std::string count = std::to_string(frames);
  std::vector<std::string> args = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-f", "x11grab",
                                   "-framerate", "1000", "-video_size", size, "-i", input, "-frames:v", count,
                                   "-pix_fmt", "bgr24", "-f", "null", "-"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
  *wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  *cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
  return true;
}

// Per picture, without ffmpeg's start-up: the difference of a long and a short run.
bool ffmpeg(const std::string& display, const char* size, const char* offset, int frames, Figures* out) {
  double wallShort = 0, cpuShort = 0, wallLong = 0, cpuLong = 0;
  const int few = 20;
  if (!runFfmpeg(display, size, offset, few, &wallShort, &cpuShort) ||
      !runFfmpeg(display, size, offset, few + frames, &wallLong, &cpuLong))
    return false;
  out->wallMs = (wallLong - wallShort) * 1000 / frames;
  out->cpuMs = (cpuLong - cpuShort) * 1000 / frames;
  return true;
}

// A mode 2 recording of the whole screen with the camera picture beside it,
// encoded and written in real time at 25 pictures a second.
void recording(int seconds) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "lessonry-capture-tick-bench";
  std::filesystem::create_directories(folder);
  lessonry::capture::testing::FakeVideoRender camera;
  camera.setPicture(640, 480, 24, 30, 200, 120);
  lessonry::capture::CScreenRecorder recorder;
  recorder.InsertSource(1, &camera, nullptr);
  recorder.SelectSource(1);
  recorder.SendVGACutRect(0, 0, 1920, 1080, TRUE);
  recorder.SetCompositeMode(2, 0, 0);
  recorder.SetEncodePause(false);
  const double cpuStart = processCpuSeconds();
  if (recorder.StartEncode((folder / "bench").c_str(), lessonry::capture::EFT_MP4, 1000, 25,
                           lessonry::capture::kEncodeModeFile) != 0) {
    std::printf("recording: did not start\n");
    return;
  }
  Sleep(static_cast<uint32_t>(seconds) * 1000);
  recorder.StopEncode();
  const double cpu = processCpuSeconds() - cpuStart;
  const auto c = recorder.counters();
  std::printf(
      "recording, mode 2, 2320x1080, %d s with encoding: %llu ticks, %llu late (> 5 ms, at most %.1f ms), %llu "
      "periods skipped; %llu pictures encoded, %llu written; %.2f CPU s per recorded s\n",
      seconds, static_cast<unsigned long long>(c.ticks), static_cast<unsigned long long>(c.lateTicks),
      c.maxLatenessMicros / 1000.0, static_cast<unsigned long long>(c.droppedPeriods),
      static_cast<unsigned long long>(c.session.picturesEncoded),
      static_cast<unsigned long long>(c.session.picturesWritten), cpu / seconds);
  std::filesystem::remove_all(folder);
}

}  // namespace

int main(int argc, char** argv) {
  const int ticks = argc > 1 ? std::max(50, std::atoi(argv[1])) : 300;
  const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
  lessonry::testing::Xvfb server;  // 1920 x 1080, 24 bits
  if (!server.running()) {
    std::fprintf(stderr, "no Xvfb: %s\n", server.error().c_str());
    return 1;
  }
  setenv("DISPLAY", server.display().c_str(), 1);
  lessonry::testing::PaintedWindow window(300, 200, 960, 540);  // something on the screen, the pointer in view

  struct Run {
    const char* name;
    int mode;
    bool region;
    const char* ffmpegSize;
    const char* ffmpegOffset;
  };
  const Run runs[] = {
      {"mode 0, whole screen, 1920x1080", 0, false, "1920x1080", "+0,0"},
      {"mode 0, region, 1280x720", 0, true, "1280x720", "+320,180"},
      {"mode 2, whole screen, 2320x1080", 2, false, "1920x1080", "+0,0"},
      {"mode 2, region, 1680x720", 2, true, "1280x720", "+320,180"},
  };
  std::printf("%d ticks each; ms per picture, wall (CPU)\n", ticks);
  for (const Run& r : runs) {
    const Figures us = ours(r.mode, r.region, ticks);
    Figures them;
    if (!ffmpeg(server.display(), r.ffmpegSize, r.ffmpegOffset, ticks, &them)) {
      std::printf("%-34s ours %6.2f (%5.2f); ffmpeg x11grab did not run\n", r.name, us.wallMs, us.cpuMs);
      continue;
    }
    std::printf("%-34s ours %6.2f (%5.2f)  ffmpeg x11grab -> bgr24 %s %6.2f (%5.2f)  ratio wall %.2f, CPU %.2f\n",
                r.name, us.wallMs, us.cpuMs, r.ffmpegSize, them.wallMs, them.cpuMs, us.wallMs / them.wallMs,
                us.cpuMs / them.cpuMs);
  }
  recording(seconds);
  return 0;
}
