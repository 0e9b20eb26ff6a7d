// The file buffer that cannot be obtained. This executable replaces the
// global allocation functions so that a test can refuse large requests; the
// refusal is off except while a test asks for it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <new>

#include "dsp_upload_fixture.h"

namespace {

std::atomic<std::size_t> gRefuseFrom{std::numeric_limits<std::size_t>::max()};

void* Allocate(std::size_t size) {
  if (size >= gRefuseFrom.load()) throw std::bad_alloc();
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

void* AllocateOrNull(std::size_t size) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

// Every unaligned form, so that no block is freed by another allocator's
// counterpart.
void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateOrNull(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateOrNull(size);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

namespace dsptest {
namespace {

constexpr std::size_t kFileSize = 3 * 1024 * 1024;
// Above everything else an upload allocates; below the file's buffer.
constexpr std::size_t kRefusedSize = 2 * 1024 * 1024;

TEST_F(DspUploadTest, UnobtainableFileBufferEndsWithMemoryError) {
  StartStb(DspOptions());
  const std::string path = WriteFile("LARGE.DSP", Pattern(kFileSize));
  gRefuseFrom = kRefusedSize;
  RunUpload(path);
  gRefuseFrom = std::numeric_limits<std::size_t>::max();

  EXPECT_EQ(TaskLines(),
            (std::vector<std::string>{"Waiting for STB...", "connection established!!!",
                                      "Memory error!!!"}));
  EXPECT_TRUE(EndsWithTerminationLine(host_.Log()));
  EXPECT_TRUE(host_.Boxes().empty());
  EXPECT_FALSE(TheImageFile().IsOpen());
  EXPECT_EQ(host_.Ended(), std::optional<bool>(false));
  ASSERT_TRUE(sim_->WaitFor(
      [](const stbsim::SimRecord& r) {
        return !r.uploads.empty() && !r.uploads.back().headerBlocks.empty();
      },
      kDeadline));
  EXPECT_EQ(Received().headerBlocks.size(), 1u);
  EXPECT_EQ(Received().dspSize, static_cast<int64_t>(kFileSize));
  EXPECT_TRUE(Received().dataBlocks.empty());
  EXPECT_EQ(Received().eotCount, 0);
}

}  // namespace
}  // namespace dsptest
