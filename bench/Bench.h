#pragma once

#include <string>
#include <vector>

std::string ListedDir(int mode);  // what a pass lists in mode 1, 2 or 3
// A device file as eLux NG (mode 1) or IGEL LX (mode 3) writes it.
std::string DeviceFile(int mode, const std::string& vendor, const std::string& product, const std::string& device,
                       const std::string& mountPoint);
void Figure(const std::string& key, double value);  // "key value" on standard output, kept for the medians
double Median(std::vector<double> values);

// The real daemon's figures; each returns how many of its measurements failed.
int Reaction(int trials);
int Wakeups(int seconds);
int Memory(int passes);
int Syscalls();
