// Shared by the output-path tests: a fixture that applies the path filters
// the test adds, and clears them afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "extract/output_paths.h"

namespace zar::test::outputPaths {

class Filters : public ::testing::Test {
protected:
    void TearDown() override { extract::clearPathFilters(); }
    static std::string applied(std::string path) {
        extract::applyPathFilters(path);
        return path;
    }
};

}  // namespace zar::test::outputPaths
