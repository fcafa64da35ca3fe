// What the process service needs of a named lock: its handle, for a started program to inherit.
#pragma once
#include <windows.h>

struct os_named_lock;

// The mutex handle, or null for a null lock.
HANDLE named_lock_handle(os_named_lock* lock);
