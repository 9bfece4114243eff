#pragma once
// Process-wide workers that share the bands of one piece of work with the
// calling thread. Started on first use and kept, since starting threads costs
// more than a short region takes to extract.

#include <functional>

// Runs band(i) for i = 0 .. bands - 1 and returns when all are done. The caller
// takes bands too; while another caller holds the workers, it runs them all
// itself. band must not throw.
void RunOnBandPool(int bands, const std::function<void(int)>& band);

// Threads RunOnBandPool spreads over (the caller included).
int BandPoolSize();
