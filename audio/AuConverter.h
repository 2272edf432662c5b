#pragma once
// A filter: an input that reads another input (Input) inside its own DoGetData.
#include "audio/AuInput.h"
#include <QPointer>

class TAuConverter : public TAuInput
{
public:
    explicit TAuConverter(QObject* Owner = nullptr);
    // Stops what reads the converter, then leaves its input's list of readers.
    ~TAuConverter() override;

    TAuInput* Input() const { return FInput.data(); }
    // Swaps the input; while the converter runs the old input is flushed under the old
    // chain's lock, then the new one is started under the new chain's lock (before anything
    // reads it), so that the two chains' locks are never held together. Setting the
    // converter itself is ignored.
    virtual void SetInput(TAuInput* Value);

    void DoPause() override;
    void DoResume() override;

protected:
    int GetBitsPerSample() override;
    int GetChannels() override;
    int GetSampleRate() override;
    void ReadSource(void*& Buffer, uint32_t& Bytes) override;

private:
    friend class TAuInput;
    // Called by a dying input once the outputs above have stopped.
    void ForgetInput(TAuInput* Dying);
    // Points the converter at Value (the chain's lock held).
    void Link(TAuInput* Value);
    // Starts the input a running swap left waiting (the chain's lock held).
    void StartPendingInput();

    // Nulled by the input's destruction (and by Qt's, as a last resort).
    QPointer<TAuInput> FInput;
};
