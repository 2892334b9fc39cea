#include "play/wave_data_reader.h"

WaveDataReader::WaveDataReader(const char* fileName)
{
    result_ = wav_open(fileName, &handle_, &format_, &riff_);
    if (result_ == 0) {
        result_ = wav_begin_read(&handle_, &data_, &riff_);
        dataBytes_ = data_.cksize;
    }
}

WaveDataReader::~WaveDataReader()
{
    wav_close_read(&handle_, &format_);
}

std::int32_t WaveDataReader::read(BYTE* destination, DWORD wanted, DWORD* delivered)
{
    return wav_read(handle_, wanted, destination, &data_, delivered);
}
