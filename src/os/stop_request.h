// Requests from outside the program to end the run early: on POSIX the terminal closing
// (SIGHUP) and a termination request (SIGTERM), as sent by deployment tools and service
// managers. Watched, they no longer end the process at once; the program ends the run itself.
#pragma once

using os_stop_handler = void (*)(int request);   // the signal number on POSIX

// From now on `handler` runs for each request, on a thread of the platform layer. Call before
// any other thread starts: threads inherit what is watched. False when the watch cannot be set
// up; requests then end the process as before.
bool os_watch_stop_requests(os_stop_handler handler);

// Ends the watch; returns once a running handler has returned. Requests that arrive later are
// held back until the process ends.
void os_unwatch_stop_requests();
