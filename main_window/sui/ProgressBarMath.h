#pragma once
// The progress bar's caption percentage and fill edge, kept apart from the
// widget so the arithmetic can be checked on its own.
//
// Positions may lie outside [min, max] (a task may step past its maximum, or
// set a range after the position); both results stay within the bar. The
// products are taken in 64 bits: a maximum in the order of an image's byte
// count times 100 does not fit in an int.

namespace sui {

// Whole-number percentage of (position - min) over (max - min), fraction
// dropped, held within 0..100; 0 when max is not above min.
int ProgressPercent(int min, int max, int position);

// x of the fill's right edge for a bar `width` pixels wide: 1 (no fill) at or
// below the minimum or when max is not above min, width - 1 beyond the
// maximum, otherwise (position - min) / (max - min) * (width - 1) truncated.
int ProgressFillEdge(int min, int max, int position, int width);

}  // namespace sui
