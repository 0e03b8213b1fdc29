// Esc typed on the terminal during the sweep ends the run at once: exit code
// 0, no "Done!", no bitmap, no converter. Run inside a real terminal (tmux).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/run_support.hpp"

namespace {

TEST(Escape, EndsTheRunWithoutTheEndSteps) {
  char pattern[] = "/tmp/flockchase-esc-XXXXXX";
  const fs::path dir = mkdtemp(pattern);
  fs::create_directory(dir / "bin");
  {
    std::ofstream stub(dir / "bin" / "picvec");
    stub << "#!/bin/sh\necho called >> \"$(dirname \"$0\")/../picvec.calls\"\n";
  }
  fs::permissions(dir / "bin" / "picvec", fs::perms::owner_all);
  const std::string socket = "flockchase-esc-" + std::to_string(getpid());
  const std::string tmux = "tmux -L " + socket + " -f /dev/null";
  const std::string inner = "cd '" + dir.string() + "' && PATH='" + (dir / "bin").string() + ":'\"$PATH\" '" +
                            FLOCKCHASE_BINARY_DIR "/app/flockchase' --headless --step 100 --time-limit 5; echo $? > exit.txt";
  ASSERT_EQ(std::system((tmux + " new-session -d -x 100 -y 30 \"" + inner + "\"").c_str()), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  std::system((tmux + " send-keys Escape").c_str());
  for (int i = 0; i < 600 && !fs::exists(dir / "exit.txt"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::system((tmux + " capture-pane -p > '" + (dir / "screen.txt").string() + "'").c_str());
  std::system((tmux + " kill-server 2>/dev/null").c_str());

  ASSERT_TRUE(fs::exists(dir / "exit.txt")) << "the run did not end after Esc";
  EXPECT_EQ(read_file(dir / "exit.txt"), "0\n");
  EXPECT_EQ(read_file(dir / "screen.txt").find("Done!"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "flockchase.bmp"));
  EXPECT_FALSE(fs::exists(dir / "picvec.calls"));
  fs::remove_all(dir);
}

}  // namespace
