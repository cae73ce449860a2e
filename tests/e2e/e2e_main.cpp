// The end-to-end suite takes the path of calvorin.exe as its first argument.
#include <gtest/gtest.h>

#include <cstdio>

#include "e2e_support.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: e2e_tests <path of calvorin.exe> [gtest options]\n");
    return 2;
  }
  e2e::SetProgramPath(argv[1]);
  return RUN_ALL_TESTS();
}
