#include "ui/engine/engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "runtime/eval/bind_table.h"
#include "runtime/files/driver.h"
#include "runtime/files/error_codes.h"
#include "runtime/files/error_state.h"
#include "runtime/files/file_decl.h"
#include "runtime/files/read_run.h"
#include "runtime/files/text_stack.h"
#include "ui/engine/engine_test_defs.h"
#include "ui/engine/test_platform.h"
#include "ui/engine/thread_codes.h"

namespace vorsandt::ui {
namespace {

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(set_.AddModule("test", {{"test.yaml", kTestWindows}}).has_value());
  }
  TestPlatform platform_;
  ResourceSet set_;
};

TEST_F(EngineTest, StackSizesFollowTheRules) {
  Engine engine(&platform_, &set_);
  engine.StartMain([&] {
    int a = engine.Start([] {}, 0);
    int b = engine.Start([] {}, 3000);
    int c = engine.Start([] {}, 50000);
    int d = engine.Start([] {}, 5000);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(c, 3);
    EXPECT_EQ(d, 4);
    // The started threads cannot run yet: this procedure holds the permission.
    EXPECT_EQ(engine.RequestedStack(a), 10000u);
    EXPECT_EQ(engine.RequestedStack(b), 5000u);
    EXPECT_EQ(engine.RequestedStack(c), 50000u);
    EXPECT_EQ(engine.RequestedStack(d), 5000u);
    EXPECT_EQ(engine.RequestedStack(0), Engine::kDefaultStack);
    EXPECT_EQ(engine.RequestedStack(9), 0u);
  });
  engine.WaitForEnd();
  EXPECT_EQ(engine.RequestedStack(1), 0u);  // slots are cleared at the end
}

TEST_F(EngineTest, SixtyFourthThreadFailsAndSwitchedOffGivesZero) {
  Engine engine(&platform_, &set_);
  std::atomic<int> ran{0};
  engine.StartMain([&] {
    for (int i = 1; i <= 63; ++i) {
      EXPECT_EQ(engine.Start([&] { ++ran; }, 25000), i);
    }
    EXPECT_EQ(engine.Start([&] { ++ran; }, 25000), -1);
    EXPECT_EQ(engine.LiveThreads(), 64);
    engine.SetStartingEnabled(false);
    EXPECT_EQ(engine.Start([&] { ++ran; }, 25000), 0);
    engine.SetStartingEnabled(true);
  });
  engine.WaitForEnd();
  EXPECT_EQ(ran, 63);  // the refused starts ran nothing
  EXPECT_EQ(engine.LiveThreads(), 0);
}

// A procedure waiting for a lock another procedure holds keeps asking the
// file layer's lock-wait hook; the engine must hand the run permission over
// there, or the holder could never run to release it.
TEST_F(EngineTest, ALockWaitLetsTheHoldingProcedureRun) {
  Engine engine(&platform_, &set_);
  std::atomic<bool> held{false};
  int attempts = 0;
  engine.StartMain([&] {
    held = true;
    ASSERT_EQ(engine.Start([&] { held = false; }, 0), 1);  // the "holder" releases
    // As the driver does, the waiter pauses between attempts (holding the
    // permission): the holder's thread may need a moment to start at all on
    // a busy machine, and only a thread already queued can be handed over to.
    while (held && attempts < 5000) {
      files::RunLockWaitHook();
      ++attempts;
      if (held) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  engine.WaitForEnd();
  EXPECT_FALSE(held);
  EXPECT_LT(attempts, 5000);
  EXPECT_EQ(engine.MaxConcurrentRunners(), 1);
}

TEST_F(EngineTest, FreedSlotIsReusedLowestFirst) {
  Engine engine(&platform_, &set_);
  engine.StartMain([&] {
    auto w = engine.CreateWindow("TESTS$TEST01", "T$FORM");
    w->Open();
    EXPECT_EQ(engine.Start([] {}, 0), 1);
    EXPECT_EQ(engine.Start([] {}, 0), 2);
    // Let both finish: they run while this thread waits for its next event.
    w->Post(event::kAccepted, 10);
    while (w->Accept() && w->Event() != event::kAccepted) {
    }
    while (engine.LiveThreads() > 1) {
      w->Post(event::kAccepted, 10);
      w->Accept();
    }
    EXPECT_EQ(engine.Start([] {}, 0), 1);
    w->Close();
  });
  engine.WaitForEnd();
}

// Each procedure checks, on every event, that nobody else is inside procedure
// code, and stays inside long enough (yielding the CPU) for an overlapping
// thread to be caught.
TEST_F(EngineTest, TwoProceduresNeverRunAtOnce) {
  Engine engine(&platform_, &set_);
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> turns{0};
  constexpr int kThreads = 6;
  constexpr int kTurnsEach = 40;
  std::function<void(bool)> body = [&](bool is_main) {
    auto w = engine.CreateWindow("TESTS$TEST01", "T$FORM");
    w->Open();
    int mine = 0;
    while (w->Accept()) {
      if (inside.fetch_add(1) != 0) ++overlaps;
      for (int i = 0; i < 50; ++i) std::this_thread::yield();
      ++turns;
      if (++mine < kTurnsEach) {
        w->Post(event::kAccepted, 10);  // keep ourselves runnable
      } else if (w->Event() != event::kCloseWindow) {
        w->Post(event::kCloseWindow);
      }
      if (is_main && mine == 1) {
        for (int t = 1; t < kThreads; ++t) EXPECT_GT(engine.Start([&body] { body(false); }, 0), 0);
      }
      inside.fetch_sub(1);
    }
    w->Close();
  };
  engine.StartMain([&] { body(true); });
  engine.WaitForEnd();
  EXPECT_EQ(overlaps, 0);
  EXPECT_GE(turns, kThreads * kTurnsEach);
  EXPECT_EQ(engine.MaxConcurrentRunners(), 1);
}

TEST_F(EngineTest, TextStackEntriesStayWithTheirThread) {
  Engine engine(&platform_, &set_);
  std::string seen_by_second = "unset";
  int size_seen_by_second = -1;
  std::string main_after;
  int main_size_after = -1;
  engine.StartMain([&] {
    auto w = engine.CreateWindow("TESTS$TEST01", "T$FORM");
    w->Open();
    files::Texts().Push("main's text");
    files::Texts().PushNumber(12345);
    engine.Start(
        [&] {
          size_seen_by_second = files::Texts().Size();
          seen_by_second = std::string(files::Texts().Top());
          files::Texts().Push("second's text, long enough not to be inline");
          auto w2 = engine.CreateWindow("TESTS$TEST01", "T$CHILD");
          w2->Open();
          while (w2->Accept()) {
            if (w2->Event() == event::kOpenWindow) w2->Post(event::kCloseWindow);
          }
          w2->Close();
        },
        0);
    while (w->Accept()) {
      // Every switch back must restore exactly what this thread left.
      if (engine.LiveThreads() > 1) {
        w->Post(event::kAccepted, 10);
        continue;
      }
      main_size_after = files::Texts().Size();
      auto top = files::Texts().Pop();
      main_after = top.value_or("");
      w->Post(event::kCloseWindow);
      while (w->Accept()) {
      }
    }
    w->Close();
  });
  engine.WaitForEnd();
  EXPECT_EQ(size_seen_by_second, 0);
  EXPECT_EQ(seen_by_second, "");
  EXPECT_EQ(main_size_after, 2);
  EXPECT_EQ(main_after, "12345");
}

// The error state of the file layer and the names bound for expressions are
// the thread's own: a code posted or a name bound by one procedure is never
// seen by another, and each finds its own again after every switch.
TEST_F(EngineTest, ErrorStateAndBindingsStayWithTheirThread) {
  Engine engine(&platform_, &set_);
  int32_t main_value = 11;
  int32_t second_value = 22;
  // What each thread saw, in order: error code, then whether "V" was bound
  // and to which variable.
  std::vector<int32_t> second_codes;
  std::vector<const uint8_t*> second_bound;
  std::vector<int32_t> main_codes;
  std::vector<const uint8_t*> main_bound;
  auto bound_v = [] {
    const eval::BindEntry* e = eval::Bindings().Lookup("V");
    return e == nullptr ? nullptr : static_cast<const uint8_t*>(e->variable.address);
  };
  files::Errors().Post(files::kFileNotFound);  // before MAIN: MAIN starts with it
  engine.StartMain([&] {
    main_codes.push_back(files::Errors().Code());
    auto w = engine.CreateWindow("TESTS$TEST01", "T$FORM");
    w->Open();
    files::Errors().Post(files::kAccessDenied);
    eval::BindLong("V", &main_value);
    engine.Start(
        [&] {
          second_codes.push_back(files::Errors().Code());
          second_bound.push_back(bound_v());
          files::Errors().Post(files::kRecordNotAvailable);
          eval::BindLong("V", &second_value);
          auto w2 = engine.CreateWindow("TESTS$TEST01", "T$CHILD");
          w2->Open();
          int turns = 0;
          while (w2->Accept()) {
            // Every switch back restores exactly this thread's state.
            second_codes.push_back(files::Errors().Code());
            second_bound.push_back(bound_v());
            if (++turns == 3)
              w2->Post(event::kCloseWindow);
            else
              w2->Post(event::kAccepted, 1);
          }
          w2->Close();
        },
        0);
    while (w->Accept()) {
      main_codes.push_back(files::Errors().Code());
      main_bound.push_back(bound_v());
      // How the turns interleave is the scheduler's choice: the second
      // procedure may finish before MAIN hears its first event. MAIN goes on
      // until it has come back at least twice and the other has ended.
      if (engine.LiveThreads() > 1 || main_codes.size() < 3) {
        w->Post(event::kAccepted, 10);
        continue;
      }
      w->Post(event::kCloseWindow);
      while (w->Accept()) {
      }
    }
    w->Close();
  });
  engine.WaitForEnd();
  ASSERT_GE(main_codes.size(), 3u);
  EXPECT_EQ(main_codes[0], files::kFileNotFound);
  for (size_t i = 1; i < main_codes.size(); ++i)
    EXPECT_EQ(main_codes[i], files::kAccessDenied) << i;
  for (const uint8_t* b : main_bound) EXPECT_EQ(b, reinterpret_cast<uint8_t*>(&main_value));
  ASSERT_EQ(second_codes.size(), 5u);           // at the start, then 515, 1, 1, 513
  EXPECT_EQ(second_codes[0], files::kNoError);  // a started procedure begins clean
  EXPECT_EQ(second_bound[0], nullptr);
  for (size_t i = 1; i < second_codes.size(); ++i) {
    EXPECT_EQ(second_codes[i], files::kRecordNotAvailable) << i;
    EXPECT_EQ(second_bound[i], reinterpret_cast<uint8_t*>(&second_value)) << i;
  }
  // The last procedure's error state stays for the program to read; its
  // bindings, which pointed into its own variables, are gone.
  EXPECT_EQ(files::Errors().Code(), files::kAccessDenied);
  EXPECT_EQ(bound_v(), nullptr);
  files::Errors().Clear();
}

// Started procedures work on their own record buffers and request codes;
// a procedure called directly shares its caller's.
TEST_F(EngineTest, RecordBuffersAndCodesArePerThread) {
  static uint8_t declared_buffer[8] = {};
  static files::FileRecord table(nullptr, "T", 1, files::kAttrPerThread, sizeof declared_buffer,
                                 nullptr, 0, nullptr, 0, nullptr, 0, declared_buffer);
  Engine engine(&platform_, &set_);
  std::string main_sees;
  std::string second_sees;
  int32_t second_request = -1;
  engine.StartMain([&] {
    auto w = engine.CreateWindow("TESTS$TEST01", "T$FORM");
    w->Open();
    std::memcpy(files::RecordBuffer(&table), "MAIN....", 8);
    RequestCode() = request::kChange;
    auto called_directly = [&] { EXPECT_EQ(RequestCode(), request::kChange); };
    called_directly();
    engine.Start(
        [&] {
          second_request = RequestCode();
          std::memcpy(files::RecordBuffer(&table), "SECOND..", 8);
          auto w2 = engine.CreateWindow("TESTS$TEST01", "T$CHILD");
          w2->Open();
          while (w2->Accept()) {
            if (w2->Event() == event::kOpenWindow) w2->Post(event::kCloseWindow);
          }
          w2->Close();
          second_sees.assign(reinterpret_cast<char*>(files::RecordBuffer(&table)), 8);
        },
        0);
    while (w->Accept()) {
      if (engine.LiveThreads() > 1) {
        w->Post(event::kAccepted, 10);
        continue;
      }
      main_sees.assign(reinterpret_cast<char*>(files::RecordBuffer(&table)), 8);
      w->Post(event::kCloseWindow);
      while (w->Accept()) {
      }
    }
    w->Close();
  });
  engine.WaitForEnd();
  EXPECT_EQ(main_sees, "MAIN....");
  EXPECT_EQ(second_sees, "SECOND..");
  EXPECT_EQ(second_request, 0);
}

TEST_F(EngineTest, ClosingTheFrameClosesEveryOtherWindow) {
  Engine engine(&platform_, &set_);
  std::atomic<bool> child_closed{false};
  engine.StartMain([&] {
    auto frame = engine.CreateWindow("TESTS$TEST01", "T$FRAME");
    frame->Open();
    engine.Start(
        [&] {
          auto child = engine.CreateWindow("TESTS$TEST01", "T$CHILD");
          child->Open();
          while (child->Accept()) {
          }
          child->Close();
          child_closed = true;
        },
        50000);
    while (frame->Accept()) {
      if (frame->Event() == event::kOpenWindow) frame->Post(event::kAccepted, 1);
      // Give the child a chance to open before the frame goes.
      if (frame->Event() == event::kAccepted && engine.OpenWindows().size() < 2)
        frame->Post(event::kAccepted, 1);
      if (frame->Event() == event::kAccepted && engine.OpenWindows().size() == 2)
        frame->Post(event::kCloseWindow);
    }
    frame->Close();
  });
  engine.WaitForEnd();
  EXPECT_TRUE(child_closed);
  EXPECT_TRUE(engine.OpenWindows().empty());
}

TEST_F(EngineTest, PostByIdReachesAnotherThreadsWindow) {
  Engine engine(&platform_, &set_);
  std::atomic<WindowId> child_id{0};
  std::vector<int> child_events;
  engine.StartMain([&] {
    auto frame = engine.CreateWindow("TESTS$TEST01", "T$FRAME");
    frame->Open();
    engine.Start(
        [&] {
          auto child = engine.CreateWindow("TESTS$TEST01", "T$CHILD");
          child_id = child->id();
          child->Open();
          while (child->Accept()) child_events.push_back(child->Event());
          child->Close();
        },
        0);
    while (frame->Accept()) {
      if (child_id == 0) {
        frame->Post(event::kAccepted, 1);  // let the child open first
        continue;
      }
      EXPECT_TRUE(engine.Post(child_id, event::kGainFocus));
      EXPECT_TRUE(engine.Post(child_id, event::kCloseWindow));
      frame->Post(event::kCloseWindow);
      while (frame->Accept()) {
      }
    }
    frame->Close();
    EXPECT_FALSE(engine.Post(frame->id(), event::kAccepted, 1));  // closed: refused
  });
  engine.WaitForEnd();
  ASSERT_GE(child_events.size(), 2u);
  EXPECT_EQ(child_events.front(), event::kOpenWindow);
  EXPECT_EQ(child_events.back(), event::kCloseWindow);
}

TEST_F(EngineTest, SlotCleanupRunsWhenTheProcedureReturns) {
  Engine engine(&platform_, &set_);
  std::vector<int> order;
  engine.StartMain([&] {
    engine.AtSlotEnd([&] { order.push_back(1); });
    int token = engine.AtSlotEnd([&] { order.push_back(2); });
    engine.AtSlotEnd([&] { order.push_back(3); });
    engine.Unregister(token);
    // A window left open is closed with its slot.
    auto w = engine.CreateWindow("TESTS$TEST01", "T$CHILD").release();
    w->Open();
    engine.AtSlotEnd([w] { delete w; });
  });
  engine.WaitForEnd();
  EXPECT_EQ(order, (std::vector<int>{3, 1}));
  EXPECT_TRUE(engine.OpenWindows().empty());
}

// What a procedure thread keeps per thread and destroys only after its
// procedure returned, slowly (a toolkit's per-thread caches, say).
std::atomic<int> slow_objects_gone{0};
struct SlowToGo {
  bool used = false;
  ~SlowToGo() {
    if (!used) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ++slow_objects_gone;
  }
};
thread_local SlowToGo slow_to_go;

// The end of the procedures is the end of their threads: whatever a thread
// keeps per thread is gone before WaitForEnd returns, so that the program
// can tear down what those objects use (the toolkit) after it.
TEST_F(EngineTest, WaitForEndReturnsOnlyOnceTheThreadsAreGone) {
  slow_objects_gone = 0;
  {
    Engine engine(&platform_, &set_);
    engine.StartMain([&] {
      slow_to_go.used = true;
      engine.Start([] { slow_to_go.used = true; }, 0);
    });
    engine.WaitForEnd();
    EXPECT_EQ(slow_objects_gone.load(), 2);
  }
  // The engine's own end waits for them too.
  slow_objects_gone = 0;
  {
    Engine engine(&platform_, &set_);
    engine.StartMain([&] {
      for (int i = 0; i < 3; ++i) engine.Start([] { slow_to_go.used = true; }, 0);
    });
  }
  EXPECT_EQ(slow_objects_gone.load(), 3);
}

TEST_F(EngineTest, IdleMeansEveryThreadWaitsWithNothingQueued) {
  Engine engine(&platform_, &set_);
  WindowId id = 0;
  std::atomic<int> accepted{0};
  engine.StartMain([&] {
    auto w = engine.CreateWindow("TESTS$TEST01", "T$FORM");
    id = w->id();
    w->Open();
    while (w->Accept()) {
      if (w->Event() == event::kAccepted) ++accepted;
    }
    w->Close();
  });
  ASSERT_TRUE(engine.WaitIdle(std::chrono::seconds(10)));
  Input in;
  in.type = Input::Type::kAccept;
  in.field = 10;
  engine.Input(id, in);
  ASSERT_TRUE(engine.WaitIdle(std::chrono::seconds(10)));
  EXPECT_EQ(accepted, 1);  // idle only after the input was served
  in.type = Input::Type::kClose;
  engine.Input(id, in);
  engine.WaitForEnd();
  engine.Input(id, in);  // a closed window's input is dropped
}

// Runtime errors end the program through the platform's "Runtime error" box.
class StderrPlatform : public TestPlatform {
 public:
  int ShowMessage(const MessageRequest& request) override {
    std::fprintf(stderr, "[%s] %s\n", request.caption.c_str(), request.text.c_str());
    return button::kOk;
  }
};

TEST_F(EngineTest, MissingWindowDefinitionIsTheRuntimeError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        StderrPlatform platform;
        Engine engine(&platform, &set_);
        engine.StartMain([&] { engine.CreateWindow("TESTS$TEST01", "T$NOSUCH"); });
        engine.WaitForEnd();
      },
      ::testing::ExitedWithCode(2),
      "\\[Runtime error\\] Unable to open WINDOW : TESTS\\$TEST01 T\\$NOSUCH");
  EXPECT_EXIT(
      {
        StderrPlatform platform;
        Engine engine(&platform, &set_);
        engine.StartMain([&] { engine.CreateWindow("NODOLLAR", "T$FORM"); });
        engine.WaitForEnd();
      },
      ::testing::ExitedWithCode(2), "Unable to open WINDOW");
}

TEST_F(EngineTest, AcceptOnAWindowNeverOpenedIsTheRuntimeError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        StderrPlatform platform;
        Engine engine(&platform, &set_);
        engine.StartMain([&] {
          auto w = engine.CreateWindow("TESTS$TEST01", "T$FORM");
          w->Accept();
        });
        engine.WaitForEnd();
      },
      ::testing::ExitedWithCode(2), "Window is not open");
}

TEST_F(EngineTest, OpeningAnOpenWindowIsTheRuntimeError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        StderrPlatform platform;
        Engine engine(&platform, &set_);
        engine.StartMain([&] {
          auto w = engine.CreateWindow("TESTS$TEST01", "T$FORM");
          w->Open();
          w->Open();
        });
        engine.WaitForEnd();
      },
      ::testing::ExitedWithCode(2), "Window is already open : T\\$FORM");
}

TEST_F(EngineTest, ReportsAreFoundButNotOpenedAsWindows) {
  const char* text = R"(resource: TEST02_RSC
id: TESTS$TEST02
structures:
  - report: PRINTX$REPORT
    bands:
      - detail:
  - window: PRINTX$PROGRESSWINDOW
)";
  ASSERT_FALSE(set_.AddModule("reports", {{"r.yaml", text}}).has_value());
  Engine engine(&platform_, &set_);
  auto report = engine.FindDefinition("TESTS$TEST02", "PRINTX$REPORT");
  ASSERT_TRUE(report.has_value());
  EXPECT_EQ(report->structure->kind, Kind::kReport);
  EXPECT_EQ(engine.TryCreateWindow("TESTS$TEST02", "PRINTX$REPORT"), nullptr);
  EXPECT_NE(engine.TryCreateWindow("TESTS$TEST02", "PRINTX$PROGRESSWINDOW"), nullptr);
}

TEST_F(EngineTest, HaltShowsItsTextThenEndsWithTheCode) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        StderrPlatform platform;
        Engine engine(&platform, &set_);
        engine.StartMain([&] { engine.Halt(0, "Invalid File!"); });
        engine.WaitForEnd();
        std::exit(7);  // not reached
      },
      ::testing::ExitedWithCode(0), "\\[Halt\\] Invalid File!");
}

// A halt rule decides the exit code, given the halt's own code and text.
TEST_F(EngineTest, AHaltRuleDecidesTheExitCode) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        StderrPlatform platform;
        Engine engine(&platform, &set_);
        engine.SetHaltRule([](int code, const std::string& text) {
          std::fprintf(stderr, "rule saw %d %s\n", code, text.c_str());
          return 3;
        });
        engine.StartMain([&] { engine.Halt(0, "Disk Error"); });
        engine.WaitForEnd();
        std::exit(7);  // not reached
      },
      ::testing::ExitedWithCode(3), "rule saw 0 Disk Error");
}

TEST_F(EngineTest, FileDialogAnswerComesBackToTheProcedure) {
  class FilePlatform : public TestPlatform {
   public:
    std::optional<std::string> ChooseFile(const FileRequest& request) override {
      title = request.title;
      return std::string("README.TXT");
    }
    std::string title;
  } platform;
  Engine engine(&platform, &set_);
  std::optional<std::string> chosen;
  engine.StartMain([&] {
    FileRequest request;
    request.title = "Pick a file";
    chosen = engine.ChooseFile(request);
  });
  engine.WaitForEnd();
  EXPECT_EQ(chosen, "README.TXT");
  EXPECT_EQ(platform.title, "Pick a file");
}

TEST_F(EngineTest, TryCreateWindowReportsMissingAsNull) {
  Engine engine(&platform_, &set_);
  engine.StartMain([&] {
    EXPECT_EQ(engine.TryCreateWindow("TESTS$TEST01", "T$NOSUCH"), nullptr);
    EXPECT_EQ(engine.TryCreateWindow("TESTS$TEST99", "T$FORM"), nullptr);
    EXPECT_NE(engine.TryCreateWindow("tests$test01", "T$FORM"), nullptr);
  });
  engine.WaitForEnd();
}

}  // namespace
}  // namespace vorsandt::ui

namespace vorsandt::ui {
namespace {

// A procedure may give a list new columns (the query program's results
// follow the tables the user joins); a format that does not parse, or a
// control that is no list, changes nothing.
TEST(ListFormat, AListTakesANewFormatThatParses) {
  TestPlatform platform;
  ResourceSet set;
  ASSERT_FALSE(set.AddModule("test", {{"test.yaml", kTestWindows}}).has_value());
  Engine engine(&platform, &set);
  engine.StartMain([&] {
    auto w = engine.CreateWindow("TESTS$TEST01", "T$FORM");
    int list = 0, entry = 0;
    for (const ControlState& c : w->Snapshot().controls) {
      if (c.kind == Kind::kList && list == 0) list = c.field;
      if (c.kind == Kind::kEntry && entry == 0) entry = c.field;
    }
    ASSERT_NE(list, 0);
    EXPECT_EQ(w->GetProperty(list, prop::kFormat), "80L|M~NAME~@s20@");
    w->SetProperty(list, prop::kFormat, "40R~CODE~@n06@60L~ITEM~@s30@");
    std::vector<Column> columns = w->Snapshot().Control(list)->columns;
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_EQ(columns[0].justify, 'R');
    EXPECT_EQ(columns[1].header, "ITEM");
    EXPECT_EQ(columns[1].picture, "s30");
    w->SetProperty(list, prop::kFormat, "");
    w->SetProperty(list, prop::kFormat, "40X~BROKEN");
    w->SetProperty(entry, prop::kFormat, "40L");
    EXPECT_EQ(w->GetProperty(list, prop::kFormat), "40R~CODE~@n06@60L~ITEM~@s30@");
    EXPECT_EQ(w->Snapshot().Control(list)->columns.size(), 2u);
    EXPECT_TRUE(w->Snapshot().Control(entry)->columns.empty());
  });
  engine.WaitForEnd();
}

std::atomic<int> read_run_ends{0};
void CountReadRunEnd() { ++read_run_ends; }

// What a read run keeps (a driver's file lock) is given back before the
// user is asked anything, even though the run goes on.
TEST_F(EngineTest, AModalCallInsideAReadRunGivesBackWhatTheRunKeeps) {
  class AskingPlatform : public TestPlatform {
   public:
    std::optional<std::string> ChooseFile(const FileRequest&) override {
      ends_when_asked = read_run_ends.load();
      return std::string("README.TXT");
    }
    int ends_when_asked = -1;
  } platform;
  files::RegisterReadRunEnd(&CountReadRunEnd);
  Engine engine(&platform, &set_);
  int ends_before = -1;
  bool still_in_run = false;
  engine.StartMain([&] {
    files::ReadRun run;
    ends_before = read_run_ends.load();
    (void)engine.ChooseFile(FileRequest{});
    still_in_run = files::InReadRun();
  });
  engine.WaitForEnd();
  EXPECT_GT(platform.ends_when_asked, ends_before);
  EXPECT_TRUE(still_in_run);
}

}  // namespace
}  // namespace vorsandt::ui
