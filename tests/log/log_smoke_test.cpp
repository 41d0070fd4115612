#include <gtest/gtest.h>
#include "system/log_internal.h"
TEST(Log, Smoke) { LOG_CondMessage(1, "x.cpp", 1, "hello %d\nworld", 3); }
