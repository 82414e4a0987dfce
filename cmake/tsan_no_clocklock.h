// Forced into every file of a ThreadSanitizer build. The standard library
// locks timed mutexes against the steady clock with pthread_mutex_clocklock,
// which this compiler's ThreadSanitizer runtime does not intercept: it never
// sees those locks taken and reports every unlock as one of an unlocked
// mutex. Without the macro the library waits through
// pthread_mutex_timedlock, which the runtime follows.
#pragma once
#include <bits/c++config.h>
#undef _GLIBCXX_USE_PTHREAD_MUTEX_CLOCKLOCK
