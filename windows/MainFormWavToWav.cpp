// "WAV 转 WAV...": the WAV format converter window, modal, freed when it closes.
#include "windows/MainForm.h"
#include "windows/NewResampleWavForm.h"

void TMainForm::miWAVtoWAVClick()
{
    TfrmResample form(this);
    form.exec();
}
