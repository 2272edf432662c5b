#pragma once
// Small shared types of the stream components.
#include <QObject>
#include <cstdint>
#include <functional>

// Result of TAuOutput::Status.
enum TOutputStatus : uint8_t { tosBusy = 0, tosPaused = 1, tosIdle = 2 };

// How a file sink treats an existing file.
enum TFileOutputMode : uint8_t { foRewrite = 0, foAppend = 1 };

// Handler of an output's events (done, progress, thread exception, and the events that
// concrete outputs add). Always called on the main thread with the output as Sender.
using TOutputEvent = std::function<void(QObject* Sender)>;
using TOutputDoneEvent = TOutputEvent;
using TOutputProgressEvent = TOutputEvent;
using TThreadExceptionEvent = TOutputEvent;

// Origin of TStream::Seek.
enum class TSeekOrigin { Begin, Current, End };
