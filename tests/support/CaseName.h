// Names the instances of a table-driven test after the `name` field of its case.
#pragma once

#include <string>

#include <gtest/gtest.h>

struct CaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case> &info) const {
        return info.param.name;
    }
};
