#pragma once

// The help book in the toolkit port's own viewer: the built-in HTML help
// viewer on GTK, the system's HTML help control on Windows. Both open the
// book at the page of a context number, load it on first use only, and say
// nothing when there is no book or no viewer.
#ifdef __WXMSW__
#include "ui/msw/help_book.h"
#else
#include "ui/gtk/help_book.h"
#endif
