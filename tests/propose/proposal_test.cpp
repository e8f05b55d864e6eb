#include <gtest/gtest.h>

#include "page_quality.h"

namespace vela {
namespace {

TEST(ProposalTest, Placeholder) { SUCCEED(); }

}  // namespace
}  // namespace vela
