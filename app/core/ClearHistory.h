#pragma once
// Clearing the recent-file lists of two other media players (RealPlayer and Windows Media
// Player) in the registry store. A running player is asked about first; the result is
// told as "<n> list records are deleted!". Each returns n, or -1 when the user said No.
#include "platform/Prompter.h"
#include "platform/Registry.h"

// Keys "MostRecentClips1" .. "MostRecentClips8" under RealPlayer's preferences, in turn,
// up to the first that cannot be deleted.
int ClearRealPlayerHistory(TRegistryStore& store, TPrompter& prompter);
// Values "File0" .. "File8" of Windows Media Player's RecentFileList key (when that key
// exists), in turn, up to the first that cannot be deleted.
int ClearMediaPlayerHistory(TRegistryStore& store, TPrompter& prompter);

QString RealPlayerClipKey(int k);
QString MediaPlayerRecentKey();
