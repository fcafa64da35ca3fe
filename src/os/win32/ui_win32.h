// What the Win32 screens share: the private window messages, the mailbox's link to the progress
// window it wakes, the register of open screens (for requests to cancel and for prompts asked
// from other threads), and small helpers for the dialogs.
#pragma once

#include <windows.h>

#include <string>

#include "os/user_interface.h"

namespace win32_ui {

constexpr UINT wake_message = WM_APP + 1;     // the mailbox has posts
constexpr UINT cancel_message = WM_APP + 2;   // ui_request_cancel reached this screen
constexpr UINT prompt_message = WM_APP + 3;   // a credentials prompt waits for this screen

// The mailbox posts `wake_message` to `window` while it is attached (and at once when posts
// already wait); detach before the window goes.
void mailbox_attach(ui_mailbox* box, HWND window);
void mailbox_detach(ui_mailbox* box);
// Called on every wake before the posts are taken: the next post wakes the window again.
void mailbox_rearm(ui_mailbox* box);

// Screens on display. Each gets `cancel_message` when a cancel is requested; a screen that
// shows up after the request gets it at once. Message boxes are found by their thread.
void register_screen(HWND window);
void unregister_screen(HWND window);
void register_message_box_thread(DWORD thread_id);
void unregister_message_box_thread(DWORD thread_id);
bool cancel_requested();

// The running progress screen, to which other threads hand their credentials prompts.
void set_progress_screen(HWND window);   // null when it ends; answers a waiting prompt with Cancel
HWND progress_screen_of_this_thread();
// Shows the credentials dialog owned by `owner` on this thread; true on OK.
bool show_credentials_dialog(HWND owner, const ui_credentials_form& form, std::wstring& user, std::wstring& password);
// On the progress screen's thread, on `prompt_message`: shows the prompt that waits, if any.
void serve_waiting_prompt(HWND screen);

// The dialogs' icon and title; the icon is the caller's to destroy.
HICON set_icon_and_title(HWND dialog, const std::wstring& title);
std::wstring window_text(HWND window);
// Zeroes and empties the text of a control that held a secret.
void wipe_control(HWND control);
// The common controls (progress bar, themed buttons) once per process.
void initialise_common_controls();

}   // namespace win32_ui
