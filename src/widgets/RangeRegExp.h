#pragma once

class QRegExp;

// Writes into exp a pattern that accepts exactly the non-negative numbers of
// [min, max] (bounds in either order) written with `decimals` decimals and
// "." or "," as separator, for use in a QRegExpValidator. The pattern has no
// anchors. A negative bound, or a range too large to scale into 64 bits
// (scaled bound of 10^18 or more), leaves exp unchanged.
void buildRangeRegExp(QRegExp* exp, double min, double max, int decimals);
