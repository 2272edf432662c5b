#pragma once
// Simulated read faults for the CD libraries, so that tests can reach the read-failure
// paths on a disc image. A fault list names sectors (LBA, as ReadCDAudioLBA addresses them)
// and how many reads touching them fail:
//
//   VARNELCD_READ_FAULTS=LBA[-LBA][@K],...     e.g. "1200", "300-309@2,5000"
//
// Without @K every read that touches the range fails; with @K the first K such reads do.
// An item "slow:MS" makes every read take MS milliseconds more, as a slow drive would.
// The environment variable is read on first use; SetReadFaults replaces the list (tests).
// Thread safe.
#include <QString>
#include <cstdint>

// Parses a fault list; false (and the reason in *error) when the text is malformed, in
// which case the current list stays as it was. An empty text clears the list.
bool SetReadFaults(const QString& faultList, QString* error = nullptr);

// True when a read of `count` sectors from `first` on must fail; spends one read of every
// counted range it touches.
bool ReadFaultHit(int64_t first, int64_t count);

// The same, giving the first failing sector of the read (-1: none), so that a drive can
// return the sectors before it as a real one would.
int64_t ReadFaultAt(int64_t first, int64_t count);
