// The dialog model: what the worker posts (lines, bar, end of run) and the progress dialog's
// logic (Cancel, OK, the timer), with a recording view in place of the screen.
#include "core/dialog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "bootstrap/dialogs.h"
#include "core/messages.h"
#include "core/progress_dialog.h"
#include "core/run_context.h"
#include "download/proxy_record.h"
#include "os/event.h"

namespace {

std::vector<ui_post> take_all(progress_dialog* dialog) {
    std::vector<ui_post> posts;
    ui_post post;
    while (ui_mailbox_take(dialog->mailbox, post)) posts.push_back(post);
    return posts;
}

std::vector<std::wstring> lines_in(const std::vector<ui_post>& posts) {
    std::vector<std::wstring> lines;
    for (const auto& post : posts)
        if (post.message == PDM_LINE) lines.push_back(post.text);
    return lines;
}

std::vector<int> bars_in(const std::vector<ui_post>& posts) {
    std::vector<int> bars;
    for (const auto& post : posts)
        if (post.message == PDM_BAR) bars.push_back(static_cast<int>(post.param));
    return bars;
}

// A run context attached to a dialog without a screen: the posts stay in the mailbox.
class WorkerSide : public ::testing::Test {
protected:
    void SetUp() override {
        select_language_for_lcid(1033);
        dialog = create_progress_dialog();
        ASSERT_NE(dialog, nullptr);
        ctx.dialog = dialog;
        dialog_set_step(&ctx, 2);
        dialog_set_progress(&ctx, 0);
        take_all(dialog);
    }
    void TearDown() override { release_progress_dialog(dialog); }

    int bar_after(double total, double now) {
        on_transfer_progress(&ctx, total, now);
        std::vector<int> bars = bars_in(take_all(dialog));
        return bars.empty() ? -1 : bars.back();
    }

    progress_dialog* dialog = nullptr;
    run_context ctx;
};

TEST_F(WorkerSide, LinesAreFormattedAndStepTheBarByTwoUntilItIsFull) {
    EXPECT_EQ(dialog_message(&ctx, MSG_DOWNLOADING_CONFIG, L"server.example"), 1);
    std::vector<ui_post> first = take_all(dialog);
    EXPECT_EQ(lines_in(first), std::vector<std::wstring>{L"Downloading configuration file from server.example"});
    EXPECT_EQ(bars_in(first), std::vector<int>{2});

    for (int i = 1; i < 60; ++i) dialog_message(&ctx, MSG_INITIALIZING);
    std::vector<ui_post> rest = take_all(dialog);
    EXPECT_EQ(lines_in(rest).size(), 59u);
    std::vector<int> bars = bars_in(rest);
    ASSERT_EQ(bars.size(), 49u) << "the 51st and later lines leave a full bar alone";
    EXPECT_EQ(bars.front(), 4);
    EXPECT_EQ(bars.back(), 100);
}

TEST_F(WorkerSide, TransferTicksFollowThePhaseAndStopTheBarAt80) {
    ctx.phase = download_phase::configuration;   // a sixth of the configuration package per tick
    dialog_set_progress(&ctx, 20);
    take_all(dialog);
    EXPECT_EQ(bar_after(600, 100), 22);
    EXPECT_EQ(bar_after(600, 150), -1) << "no new tick";
    EXPECT_EQ(bar_after(600, 600), 32);
    EXPECT_EQ(ctx.progress_position, 6);

    ctx.phase = download_phase::install;   // a twentieth of the install package per tick
    ctx.progress_position = 0;
    EXPECT_EQ(bar_after(2000, 1000), 52);
    EXPECT_EQ(bar_after(2000, 2000), 72);
    ctx.progress_position = 0;
    EXPECT_EQ(bar_after(2000, 2000), 80) << "downloads never push the bar past 80";
    EXPECT_EQ(bar_after(2000, 500), -1);
    EXPECT_EQ(ctx.progress_position, 5) << "a lower tick count is stored too";

    ctx.phase = download_phase::none;   // any other phase: one tick per whole transfer
    ctx.progress_position = 0;
    dialog_set_progress(&ctx, 40);
    take_all(dialog);
    EXPECT_EQ(bar_after(1000, 999), -1);
    EXPECT_EQ(bar_after(1000, 1000), 42);
}

TEST_F(WorkerSide, UnknownOrOddSizesDoNotMoveTheBar) {
    ctx.phase = download_phase::install;
    EXPECT_EQ(bar_after(0, 5000), -1);
    EXPECT_EQ(ctx.progress_position, 0);
    EXPECT_EQ(bar_after(1000, -50), -1);
    EXPECT_EQ(bar_after(1000, std::nan("")), -1);
    EXPECT_EQ(ctx.progress_position, 0);
    ctx.cancel_flag = 1;
    EXPECT_EQ(on_transfer_progress(&ctx, 0, 10), 1);
}

TEST(SilentRun, DrawsNothingAndOnlyCountsTicks) {
    run_context ctx;   // no dialog
    EXPECT_EQ(dialog_message(&ctx, MSG_STARTING), 0);
    dialog_set_progress(&ctx, 50);
    dialog_finish(&ctx);
    ctx.phase = download_phase::configuration;
    EXPECT_EQ(on_transfer_progress(&ctx, 600, 300), 0);
    EXPECT_EQ(ctx.progress_position, 3);
    ctx.cancel_flag = 1;
    EXPECT_EQ(on_transfer_progress(&ctx, 600, 600), 1);
    EXPECT_EQ(ctx.progress_position, 6);
    EXPECT_EQ(on_transfer_progress(nullptr, 600, 600), 0);

    proxy_record route{};
    EXPECT_EQ(prompt_proxy_credentials(&route), 0) << "nobody is asked without a dialog";
    EXPECT_EQ(route.proxy_user[0], L'\0');
}

// The screen's side as the dialog logic sees it.
class recording_view final : public ui_progress_view {
public:
    void append_line(const std::wstring& line) override { lines.push_back(line); }
    void set_bar(int position) override { bar = position; }
    void set_button(const std::wstring& text, bool on) override {
        caption = text;
        enabled = on;
    }
    void set_timer(int id, unsigned ms) override { timers[id] = ms; }
    void kill_timer(int id) override { timers.erase(id); }
    void end(int code) override {
        ended = true;
        result = code;
    }

    std::vector<std::wstring> lines;
    int bar = 0;
    std::wstring caption;
    bool enabled = false;
    std::map<int, unsigned> timers;
    bool ended = false;
    int result = -1;
};

// A worker that holds its run until the test lets it end, then ends it as run_bootstrap does.
struct scripted_run {
    std::mutex lock;
    std::condition_variable changed;
    run_context* ctx = nullptr;
    bool may_end = false;

    void wait_started() {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [this] { return ctx != nullptr; });
    }
    void let_end() {
        std::lock_guard<std::mutex> guard(lock);
        may_end = true;
        changed.notify_all();
    }
} script;

int scripted_worker(run_context_ptr owned) {
    run_context* ctx = owned.get();
    std::unique_lock<std::mutex> guard(script.lock);
    script.ctx = ctx;
    script.changed.notify_all();
    script.changed.wait(guard, [] { return script.may_end; });
    dialog_message(ctx, MSG_ERROR_END);
    dialog_finish(ctx);
    return 0;
}

class ProgressLogic : public ::testing::Test {
protected:
    void SetUp() override {
        select_language_for_lcid(1033);
        script.ctx = nullptr;
        script.may_end = false;
        dialog = create_progress_dialog();
        ASSERT_NE(dialog, nullptr);
        os_event_set(dialog->cancel_event);   // left over from an earlier run: the start resets it
        procedure = new progress_dialog_procedure(dialog, scripted_worker);
        ASSERT_EQ(procedure->on_start(view), 0);
        script.wait_started();
        ctx = script.ctx;
    }
    void TearDown() override {
        script.let_end();
        release_progress_dialog(dialog);
        delete procedure;
    }

    // Lets the worker end and waits for it, as the screen would see its last posts.
    void end_worker() {
        script.let_end();
        dialog->worker.join();
    }
    void deliver() {
        for (const ui_post& post : take_all(dialog)) {
            if (view.ended) break;
            procedure->on_post(view, post);
        }
    }

    progress_dialog* dialog = nullptr;
    progress_dialog_procedure* procedure = nullptr;
    recording_view view;
    run_context* ctx = nullptr;
};

TEST_F(ProgressLogic, StartHandsTheWorkerARunContextAndShowsCancel) {
    EXPECT_EQ(ctx->dialog, dialog);
    EXPECT_FALSE(os_event_is_set(dialog->cancel_event));
    EXPECT_EQ(view.caption, L"Ca&ncel");
    EXPECT_TRUE(view.enabled);
    procedure->on_enter(view);
    EXPECT_EQ(ctx->cancel_flag.load(), 0) << "Enter does not cancel a running install";
}

TEST_F(ProgressLogic, CancelTwiceShowsTheAbortLineOnceAndSetsTheEventEachTime) {
    procedure->on_cancel(view);
    EXPECT_EQ(ctx->cancel_flag.load(), 1);
    EXPECT_TRUE(os_event_is_set(dialog->cancel_event));
    EXPECT_EQ(procedure->current(), progress_dialog_procedure::state::cancelling);
    EXPECT_FALSE(view.enabled);

    os_event_reset(dialog->cancel_event);
    procedure->on_cancel(view);
    EXPECT_TRUE(os_event_is_set(dialog->cancel_event)) << "a later press sets the event again";
    deliver();
    EXPECT_EQ(view.lines, std::vector<std::wstring>{L"Aborting operations. This may take a while..."});

    end_worker();
    deliver();
    EXPECT_TRUE(view.ended) << "a cancelled run closes at once";
    EXPECT_EQ(view.result, 0);
    EXPECT_EQ(view.bar, 100);
    EXPECT_EQ(procedure->current(), progress_dialog_procedure::state::ended);
}

TEST_F(ProgressLogic, FinishedRunReadsOkAndClosesOnEnterOrAfterTenSeconds) {
    end_worker();
    deliver();
    EXPECT_FALSE(view.ended);
    EXPECT_EQ(view.caption, L"OK");
    EXPECT_TRUE(view.enabled);
    EXPECT_EQ(view.timers, (std::map<int, unsigned>{{finish_timer_id, 10000u}}));
    EXPECT_EQ(procedure->current(), progress_dialog_procedure::state::finished);

    procedure->on_enter(view);
    EXPECT_TRUE(view.timers.empty());
    EXPECT_FALSE(view.ended) << "the close message goes through the mailbox";
    deliver();
    EXPECT_TRUE(view.ended);

    recording_view other;
    procedure->on_timer(other, finish_timer_id);
    EXPECT_TRUE(other.ended);
    EXPECT_EQ(other.result, finish_timer_id);
}

TEST_F(ProgressLogic, CancelAfterTheWorkerLetGoLeavesItsFreedContextAlone) {
    end_worker();   // finished and close posts wait in the mailbox; the context is freed
    procedure->on_cancel(view);
    EXPECT_TRUE(os_event_is_set(dialog->cancel_event));
    deliver();
    for (const auto& line : view.lines) EXPECT_NE(line, L"Aborting operations. This may take a while...");
    EXPECT_FALSE(view.ended) << "a run that was not cancelled keeps its OK button";
    EXPECT_EQ(view.caption, L"OK");
}

}   // namespace
