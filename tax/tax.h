#pragma once

namespace tax {

// The nearest double to 1.05 (0x3FF0CCCCCCCCCCCD); the rate appears nowhere else.
inline constexpr double TaxFactor = 1.05;

// Int(net x TaxFactor), Int being floor.
double GrossFromNet(double net);

// The smallest whole net amount whose product with TaxFactor reaches gross.
double NetFromGross(double gross);

// Whether net gives back gross: Int(net x TaxFactor) == Int(gross).
bool GrossMatchesNet(double net, double gross);

}  // namespace tax
