#pragma once

#include <TranscriptionCore/AudioPreprocessor.h>
#include <TranscriptionCore/Dedup.h>
#include <TranscriptionCore/Scoring.h>
#include <TranscriptionCore/SentenceSplitter.h>
