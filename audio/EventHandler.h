#pragma once
// The one process-wide thread that hands the outputs' events to the main thread, one at
// a time and in the order posted. It exists while at least one output exists.
//
// A done event first waits until its worker is through with that run; then the output's
// current OnDone is called (the handler is read at delivery). Other events call the
// handler stored when they were posted. Events of runs that a synchronous stop dropped,
// and events of outputs destroyed meanwhile, are not delivered.
#include "audio/StreamTypes.h"
#include <cstdint>
#include <memory>

class TAuThread;

enum class TEventKind : uint8_t { Progress = 0, Done = 1, ThreadException = 2 };

class TEventHandler
{
public:
    // Reference count held by every output; the thread starts with the first and is
    // terminated and joined with the last.
    static void AddRef();
    static void Release();

    static void Post(TEventKind Kind, const std::shared_ptr<TAuThread>& Worker,
                     uint64_t Generation, TOutputEvent Handler = {});
    // Removes the queued events of Worker's runs up to Generation.
    static void Purge(const TAuThread* Worker, uint64_t Generation);
};
