// The replayed solve must equal a full SolveGauss bit for bit, pivots and all.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "core/model/factored_system.h"
#include "core/model/geometry.h"
#include "core/base/parallel.h"

namespace mdv {
namespace {

bool SameBits(Real a, Real b) { return std::memcmp(&a, &b, 10) == 0; }

TRealMatr RandomSystem(int32_t n, std::mt19937_64& rng, bool withTies, bool sparse = false) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  TRealMatr a(n, TRealArray(n + 1));
  for (auto& row : a)
    for (auto& v : row) v = static_cast<Real>(u(rng)) / 3;
  if (sparse) {
    // Zeros of both signs everywhere but the diagonal: updates by zero
    // factors and sums of signed zeros must happen exactly as in SolveGauss.
    for (int32_t r = 0; r < n; ++r)
      for (int32_t c = 0; c < n; ++c)
        if (r != c && (r * 7 + c * 3) % 5 != 0) a[r][c] = (r + c) % 2 ? 0.0L : -0.0L;
  }
  if (withTies) {
    // Equal pivot magnitudes in column 0 and a zero diagonal force exchanges.
    a[0][0] = 0;
    for (int32_t r = 1; r < n; ++r) a[r][0] = (r % 2 ? 1 : -1) * 0.5L;
  }
  return a;
}

TEST(FactoredSystem, ReplayEqualsFullEliminationBitForBit) {
  std::mt19937_64 rng(12345);
  ThreadPool pool(3);
  struct Case { const char* name; int32_t n; bool ties; bool sparse; ThreadPool* pool; };
  for (const Case c : {Case{"one", 1, false, false, nullptr}, Case{"small", 3, false, false, nullptr},
                       Case{"ties", 9, true, false, nullptr}, Case{"medium", 57, false, false, nullptr},
                       Case{"medium ties", 64, true, false, nullptr},
                       Case{"signed zeros", 41, false, true, nullptr},
                       Case{"large, 3 threads", 403, false, false, &pool},
                       Case{"large ties and zeros, 3 threads", 310, true, true, &pool}}) {
    SCOPED_TRACE(c.name);
    TRealMatr a = RandomSystem(c.n, rng, c.ties, c.sparse);
    FactoredSystem fs;
    fs.Factor(a, c.n, c.pool);
    ASSERT_TRUE(fs.Regular());
    // Several right-hand sides against the same coefficients, as in a run.
    for (int rep = 0; rep < 3; ++rep) {
      std::uniform_real_distribution<double> u(-2.0, 2.0);
      TRealArray rhs(c.n);
      for (int32_t r = 0; r < c.n; ++r) a[r][c.n] = rhs[r] = static_cast<Real>(u(rng)) / 7;
      TRealMatr full = a;
      TRealArray xFull(c.n, 0), xFast(c.n, 0);
      ASSERT_TRUE(SolveGauss(full, c.n, xFull));
      ASSERT_TRUE(fs.Solve(rhs, xFast));
      for (int32_t i = 0; i < c.n; ++i)
        ASSERT_TRUE(SameBits(xFull[i], xFast[i]))
            << "row " << i << ": " << static_cast<double>(xFull[i]) << " vs "
            << static_cast<double>(xFast[i]);
    }
  }
}

TEST(FactoredSystem, SingularSystemLeavesSolutionUntouched) {
  TRealMatr a = {{1, 2, 3}, {2, 4, 6}};
  FactoredSystem fs;
  fs.Factor(a, 2);
  EXPECT_FALSE(fs.Regular());
  TRealArray x = {7, 8};
  EXPECT_FALSE(fs.Solve({3, 6}, x));
  EXPECT_EQ(x[0], 7);
  EXPECT_EQ(x[1], 8);
}

TEST(ThreadPool, EveryIndexExactlyOnceForAnySize) {
  for (int threads : {1, 2, 3, 5, 1000000}) {
    ThreadPool pool(threads);
    EXPECT_LE(pool.Size(), ThreadPool::MaxThreads) << "a mistyped count is capped";
    for (int32_t count : {0, 1, 2, 7, 100, 1001}) {
      std::vector<int> hits(count, 0);
      for (int32_t grain : {0, 1, 3, 1000})
        pool.For(count, [&](int32_t b, int32_t e) {
          for (int32_t i = b; i < e; ++i) ++hits[i];
        }, grain);
      for (int32_t i = 0; i < count; ++i)
        ASSERT_EQ(hits[i], 4) << "threads " << threads << " count " << count << " index " << i;
    }
  }
}

}  // namespace
}  // namespace mdv
