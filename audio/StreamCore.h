#pragma once
// The stream components' core in one include.
#include "audio/AuConverter.h"
#include "audio/AuException.h"
#include "audio/AuFileIn.h"
#include "audio/AuFileStream.h"
#include "audio/AuInput.h"
#include "audio/AuOutput.h"
#include "audio/AuStream.h"
#include "audio/AuStreamedInput.h"
#include "audio/EventHandler.h"
#include "audio/MainThreadSync.h"
#include "audio/StreamTypes.h"
