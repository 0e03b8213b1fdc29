// The real flockchase with its chart window on a private Xvfb: closing the
// window during the sweep loses nothing; the chart is still drawn
// off-screen and saved at the end, the same as a headless run's.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "app/run_support.hpp"
#include "x11_test_support.hpp"

namespace {

const std::vector<std::string> ChartRun = {"--damping", "0.99:0.99875", "--step", "3"};

// A window listed by XQueryTree may be destroyed before its class is read:
// while the chart window closes, that BadWindow is expected, and Xlib's
// default handler would end the test process.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }

// The top-level window of class CORVANTILEGRAPH, or 0.
unsigned long chart_window(Display* display) {
  XSync(display, False);
  auto* const previous = XSetErrorHandler(ignore_x_error);
  struct Restore {
    Display* display;
    int (*handler)(Display*, XErrorEvent*);
    ~Restore() {
      XSync(display, False);
      XSetErrorHandler(handler);
    }
  } restore{display, previous};
  Window root = 0, parent = 0, *children = nullptr;
  unsigned int count = 0;
  unsigned long found = 0;
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0) return 0;
  for (unsigned int i = 0; i < count && found == 0; ++i) {
    XClassHint hint{};
    if (XGetClassHint(display, children[i], &hint) != 0) {
      if (hint.res_class != nullptr && std::string(hint.res_class) == "CORVANTILEGRAPH") found = children[i];
      XFree(hint.res_name);
      XFree(hint.res_class);
    }
  }
  XFree(children);
  return found;
}

TEST(WindowRun, ClosingTheChartWindowStillSavesTheWholeChart) {
  ASSERT_NE(shared_test_display(), "");
  Sandbox headless;
  const RunOutput reference = headless.run([] {
    std::vector<std::string> a = ChartRun;
    a.push_back("--headless");
    return a;
  }());
  ASSERT_EQ(reference.exit_code, 0) << reference.err;

  struct Case {
    const char* when;
    std::size_t results_lines;  // lines in the results file before the close
  };
  for (const Case& c : {Case{"before the first column ends", 1}, Case{"after the first column", 2}}) {
    SCOPED_TRACE(c.when);
    Sandbox box;
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      const std::string command = box.command(ChartRun);
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    TestConnection wm;
    ASSERT_NE(wm.display, nullptr);
    unsigned long xid = 0;
    EXPECT_TRUE(eventually([&] {
      xid = chart_window(wm.display);
      return xid != 0 && lines_of(box.file("flockchase.csv")).size() >= c.results_lines;
    }));
    ASSERT_NE(xid, 0u);
    wm.send_delete_window(xid);
    EXPECT_TRUE(eventually([&] { return chart_window(wm.display) == 0; }));
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    const RunOutput r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, box.file("out.txt"), box.file("err.txt")};
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("the chart window was closed"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, reference.out);
    ASSERT_TRUE(box.exists("flockchase.bmp"));
    EXPECT_TRUE(box.file("flockchase.bmp") == headless.file("flockchase.bmp")) << "the bitmaps differ";
    EXPECT_TRUE(box.exists("picvec.calls"));
  }
}

}  // namespace
