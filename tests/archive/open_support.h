// Shared by the tests of opening and closing archives: a scratch directory,
// and no archive left open after a test.
#pragma once

#include <gtest/gtest.h>

#include "archive/handles.h"
#include "common/scratch.h"

namespace zar::test::opening {

class Open : public ::testing::Test {
protected:
    void TearDown() override { zar::archive::closeAllArchives(); }
    Scratch scratch;
};

}  // namespace zar::test::opening
