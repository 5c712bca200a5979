#include <gtest/gtest.h>
TEST(Fire, Placeholder) {}
