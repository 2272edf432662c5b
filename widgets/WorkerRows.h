#pragma once
// The list a job window shows under its gauge when several encode workers run: one row for
// the reader ("rip") and one per worker ("w1", "w2", ...) with its track, stage and percent.
#include "jobs/RipPipeline.h"

#include <QVector>

class QTreeWidget;
class QWidget;

QTreeWidget* NewWorkerRows(QWidget* parent);
void ShowWorkerRows(QTreeWidget* list, const QVector<TPipelineRow>& rows);
