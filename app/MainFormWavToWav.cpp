// "WAV 转 WAV...": the WAV format converter window, modal, freed when it closes.
#include "app/MainForm.h"
#include "encode/NewResampleWavForm.h"

void TMainForm::miWAVtoWAVClick()
{
    TfrmResample form(this);
    form.exec();
}
