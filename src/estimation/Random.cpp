// MT19937 with the reference seeding, and the two draws the sampler makes from it.
#include "estimation/Estimation.h"

namespace telvo {

void SeedRandom(RandomStream& rs, uint32_t seed) {
  rs.State[0] = seed;
  for (int i = 1; i < 624; ++i)
    rs.State[i] = 1812433253u * (rs.State[i - 1] ^ (rs.State[i - 1] >> 30)) + static_cast<uint32_t>(i);
  rs.Index = 624;
}

// The next block of 624 outputs, tempered and scaled all at once: the loops run four words at a time.
static void NextBlock(RandomStream& rs) {
  if (rs.Index == 625) SeedRandom(rs, 5489u);  // the reference default seed
  auto twist = [&](int i, int next, int far) {
    uint32_t y = (rs.State[i] & 0x80000000u) | (rs.State[next] & 0x7fffffffu);
    rs.State[i] = rs.State[far] ^ (y >> 1) ^ ((y & 1u) ? 0x9908b0dfu : 0u);
  };
  int i = 0;
  for (; i < 624 - 397; ++i) twist(i, i + 1, i + 397);
  for (; i < 623; ++i) twist(i, i + 1, i + 397 - 624);
  twist(623, 0, 396);
  for (int k = 0; k < 624; ++k) {
    uint32_t y = rs.State[k];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680u;
    y ^= (y << 15) & 0xefc60000u;
    y ^= y >> 18;
    rs.Output[k] = y;
  }
  // Random(32768) / 32767 of each word.
  for (int k = 0; k < 624; ++k) rs.Unit[k] = static_cast<double>(rs.Output[k] >> 17) / 32767.0;
  rs.Index = 0;
}

uint32_t NextRandom(RandomStream& rs) {
  if (rs.Index >= 624) NextBlock(rs);
  return rs.Output[rs.Index++];
}

uint32_t Random(RandomStream& rs, uint32_t n) {
  return static_cast<uint32_t>((static_cast<uint64_t>(NextRandom(rs)) * n) >> 32);
}

int Rnd(RandomStream& rs, int lo, int hi) {
  return lo + static_cast<int>(Random(rs, static_cast<uint32_t>(hi - lo + 1)));
}

double Rnd0To1(RandomStream& rs) {
  if (rs.Index >= 624) NextBlock(rs);
  return rs.Unit[rs.Index++];
}

// The splitmix64 finaliser of (run seed << 32 | gene number), high 32 bits: neighbouring genes get
// unrelated seeds. Documented in the README: shards run elsewhere must reproduce it.
uint32_t GeneSeed(uint32_t runSeed, long gene) {
  uint64_t z = (static_cast<uint64_t>(runSeed) << 32 | static_cast<uint32_t>(gene)) + 0x9e3779b97f4a7c15u;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
  z ^= z >> 31;
  return static_cast<uint32_t>(z >> 32);
}

}  // namespace telvo
