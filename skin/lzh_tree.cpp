#include "skin/lzh_tree.h"

#include <cstring>

namespace lzh {

static_assert(kPosition.len[31] == 3 && kPosition.len[32] == 4 && kPosition.code[79] == 3 && kPosition.code[80] == 4 &&
              kPosition.code[239] == 47 && kPosition.code[240] == 48 && kPosition.code[255] == 63 &&
              kPosition.len[255] == 8);

void Tree::Start() {
  for (int i = 0; i < N_CHAR; ++i) {
    freq[i] = 1;
    son[i] = static_cast<int16_t>(i + T);
    prnt[i + T] = static_cast<int16_t>(i);
  }
  for (int k = 0, j = N_CHAR; j <= R; k += 2, ++j) {
    freq[j] = static_cast<uint16_t>(freq[k] + freq[k + 1]);
    son[j] = static_cast<int16_t>(k);
    prnt[k] = prnt[k + 1] = static_cast<int16_t>(j);
  }
  freq[T] = 0xFFFF;
  prnt[R] = 0;
}

void Tree::Rebuild() {
  // Leaves to the front, in order, with their frequencies halved (rounding up).
  int j = 0;
  for (int i = 0; i < T; ++i) {
    if (son[i] >= T) {
      freq[j] = static_cast<uint16_t>((freq[i] + 1) / 2);
      son[j] = son[i];
      ++j;
    }
  }
  // Internal nodes from pairs, each inserted after the last entry not above it.
  for (int i = 0, node = N_CHAR; node < T; i += 2, ++node) {
    const unsigned f = freq[i] + freq[i + 1];
    int k = node - 1;
    while (k >= 0 && f < freq[k]) --k;
    ++k;
    const size_t moved = static_cast<size_t>(node - k);
    std::memmove(&freq[k + 1], &freq[k], moved * sizeof freq[0]);
    std::memmove(&son[k + 1], &son[k], moved * sizeof son[0]);
    freq[k] = static_cast<uint16_t>(f);
    son[k] = static_cast<int16_t>(i);
  }
  for (int i = 0; i < T; ++i) {
    const int k = son[i];
    if (k >= T) {
      prnt[k] = static_cast<int16_t>(i);
    } else {
      prnt[k] = prnt[k + 1] = static_cast<int16_t>(i);
    }
  }
}

void Tree::Update(int c) {
  if (freq[R] == MAX_FREQ) Rebuild();
  int node = prnt[c + T];
  do {
    const unsigned f = ++freq[node];
    if (f > freq[node + 1]) {
      // Swap with the last node of the run below the new frequency (the sentinel stops
      // the scan).
      int l = node + 1;
      while (f > freq[l + 1]) ++l;
      freq[node] = freq[l];
      freq[l] = static_cast<uint16_t>(f);
      const int i = son[node];
      prnt[i] = static_cast<int16_t>(l);
      if (i < T) prnt[i + 1] = static_cast<int16_t>(l);
      const int j = son[l];
      son[l] = static_cast<int16_t>(i);
      prnt[j] = static_cast<int16_t>(node);
      if (j < T) prnt[j + 1] = static_cast<int16_t>(node);
      son[node] = static_cast<int16_t>(j);
      node = l;
    }
    node = prnt[node];
  } while (node != 0);
}

}  // namespace lzh
