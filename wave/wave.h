#pragma once
// The RIFF WAVE file layer: plain functions over the RIFF file I/O that create, fill,
// finish, open and read WAVE files, copy side chunks, load and save whole files, and
// keep one module-level output file. They print nothing and throw nothing: every one
// returns 0 for success, one of the WAV_ERR_ codes below, or an error code of the
// RIFF file I/O (platform/mmio.h) passed through unchanged. The caller owns every
// record that describes an open file and passes it to each call.

#include <cstdint>

#include "platform/global_memory.h"
#include "platform/mmio.h"
#include "platform/wave_format.h"
#include "platform/win_types.h"

inline constexpr int32_t WAV_ERR_NO_MEMORY = 0xE000;
inline constexpr int32_t WAV_ERR_OPEN_FAILED = 0xE100;
inline constexpr int32_t WAV_ERR_BAD_FORMAT = 0xE101;
inline constexpr int32_t WAV_ERR_READ_FAILED = 0xE102;
inline constexpr int32_t WAV_ERR_TRUNCATED = 0xE103;
inline constexpr int32_t WAV_ERR_WRITE_FAILED = 0xE104;

// ---- Writing, in one forward pass: wav_create, wav_begin_data, wav_write..., wav_finish.

// Creates (or empties) the file and writes the RIFF header, the fmt chunk (16 bytes of
// the format for PCM, else the 18-byte record and its cbSize extra bytes, which must
// follow it in memory) and a fact chunk holding 0xFFFFFFFF. On failure after the
// open, the file stays open in *handle. A file that cannot be created gives
// WAV_ERR_WRITE_FAILED and a null *handle, whatever the reason: also a name that exists
// as another kind of file than a regular one (a FIFO, a device, a socket, a directory),
// which is refused before anything is written to it.
int32_t wav_create(const char* fileName, HMMIO* handle, const WAVEFORMATEX* format, MMCKINFO* chunk, MMCKINFO* riff);
// Starts the data chunk and takes over the file's I/O buffer into *io.
int32_t wav_begin_data(HMMIO* handle, MMCKINFO* chunk, MMIOINFO* io);
// Appends count bytes through the taken-over buffer; *written says how many were placed.
int32_t wav_write(HMMIO handle, DWORD count, const BYTE* bytes, MMCKINFO* chunk, DWORD* written, MMIOINFO* io);
// Settles the data and RIFF sizes, stores sampleCount in the fact chunk and closes the
// file, setting *handle to null. Does nothing for a null *handle. A write that never
// reached the disk (found when the file is closed) is reported, not hidden.
int32_t wav_finish(HMMIO* handle, MMCKINFO* chunk, MMCKINFO* riff, MMIOINFO* io, DWORD sampleCount);
// After wav_write or wav_finish failed and wav_finish has closed the file: settles its
// header over what reached the disk, so that the samples there stay readable. The file is
// reached through spare, a handle that mmioDuplicate made of the file's handle while it
// was open and that the caller closes afterwards; it is never opened again by name.
// The data size becomes the data bytes the file holds (at most bytesPlaced, the bytes
// wav_write placed), followed by the pad byte of an odd size where the disk takes it; the
// RIFF size the file's length - 8; the fact count the data bytes / blockAlign (0 for a
// blockAlign of 0). chunk is the data chunk's record as wav_begin_data filled it, before
// wav_finish reused it. Fails with WAV_ERR_WRITE_FAILED when spare is null or cannot be
// duplicated, or the file does not hold its header up to the data.
int32_t wav_settle(HMMIO spare, const MMCKINFO* chunk, DWORD bytesPlaced, WORD blockAlign);

// ---- Writing a file too large for a RIFF form: an RF64 form (EBU Tech 3306), the same
// chunks with the true 64-bit sizes in a ds64 chunk after the form's type. Calls:
// wav_create_rf64, wav_begin_data, wav_write..., wav_finish_rf64.
//
// 1 when a file of dataBytes sample bytes in this format (header, data, pad byte) would
// pass the largest RIFF file, 0xFFFFFFFF bytes: it must be written as an RF64 form.
int32_t wav_needs_rf64(const WAVEFORMATEX* format, uint64_t dataBytes);
// As wav_create, but the form is "RF64" with size 0xFFFFFFFF, followed by a ds64 chunk
// of 28 bytes (RIFF size, data size and sample count as unsigned 64-bit numbers, all 0
// until the file is finished, and a table length of 0), and the file may grow past
// 0xFFFFFFFF bytes.
int32_t wav_create_rf64(const char* fileName, HMMIO* handle, const WAVEFORMATEX* format, MMCKINFO* chunk,
                        MMCKINFO* riff);
// As wav_finish for a file made by wav_create_rf64: writes the pad byte after odd data,
// the RIFF size (file length - 8), data size and sampleCount into ds64 and 0xFFFFFFFF as
// the data chunk's size; the fact chunk keeps 0xFFFFFFFF. Closes the file, setting
// *handle to null, also on failure; a riff record that is not an RF64 form is refused
// with MMSYSERR_INVALPARAM. Does nothing for a null *handle.
int32_t wav_finish_rf64(HMMIO* handle, MMCKINFO* chunk, MMCKINFO* riff, MMIOINFO* io, uint64_t sampleCount);
// As wav_settle for a file made by wav_create_rf64, after wav_write or wav_finish_rf64
// failed: the ds64 chunk receives the RIFF size (length - 8), the data bytes the file
// holds (at most bytesPlaced) and those bytes / blockAlign; the pad byte as there.
int32_t wav_settle_rf64(HMMIO spare, const MMCKINFO* chunk, uint64_t bytesPlaced, WORD blockAlign);

// ---- Writing with side chunks (bext, LIST, MD5 and the like): whole chunks that the caller
// lays out (header, data, pad byte), placed after the form's header (and ds64) and after
// the fact chunk when the file is created, and after the data chunk when it is finished.
// Calls: wav_create_with_chunks, wav_begin_data, wav_write..., wav_finish_with_chunks.
// The file is a RIFF form, or an RF64 form when rf64 is not 0.
//
// As wav_needs_rf64, for a file whose side chunks take sideBytes besides.
int32_t wav_needs_rf64_with_chunks(const WAVEFORMATEX* format, uint64_t dataBytes, uint64_t sideBytes);
// As wav_create (rf64 0) or wav_create_rf64, with leadingBytes of chunks before the fmt
// chunk and middleBytes of chunks between the fact and data chunks.
int32_t wav_create_with_chunks(const char* fileName, HMMIO* handle, const WAVEFORMATEX* format, MMCKINFO* chunk,
                               MMCKINFO* riff, int32_t rf64, const BYTE* leading, DWORD leadingBytes,
                               const BYTE* middle, DWORD middleBytes);
// As wav_finish or wav_finish_rf64 (the RIFF record tells which form), with trailingBytes
// of chunks after the data chunk and its pad byte, and then patchBytes written over the
// header at patchOffset (none when patchBytes is 0): values known only at the end.
int32_t wav_finish_with_chunks(HMMIO* handle, MMCKINFO* chunk, MMCKINFO* riff, MMIOINFO* io, uint64_t sampleCount,
                               const BYTE* trailing, DWORD trailingBytes, DWORD patchOffset, const BYTE* patch,
                               DWORD patchBytes);
// ---- Writing a file whose final size is not known when it is created (its samples come
// from a pipe). Calls: wav_create_growable, wav_begin_data, wav_write...,
// wav_finish_growable.
//
// As wav_create, with a JUNK chunk of 28 zero bytes right after the form's type, keeping
// the place of a ds64 chunk, and a file that may grow past 0xFFFFFFFF bytes.
int32_t wav_create_growable(const char* fileName, HMMIO* handle, const WAVEFORMATEX* format, MMCKINFO* chunk,
                            MMCKINFO* riff);
// The same on a handle of mmioOpenDescriptor that is not a stream (a regular file on
// standard output); a stream is refused with MMIOERR_CANNOTSEEK.
int32_t wav_begin_growable(HMMIO handle, const WAVEFORMATEX* format, MMCKINFO* chunk, MMCKINFO* riff);
// A file that fits a RIFF form (its header, data and pad byte within 0xFFFFFFFF bytes) is
// finished as wav_finish finishes it (sampleCount in 32 bits), the JUNK chunk kept; a
// longer one becomes an RF64 form in place, its JUNK chunk a ds64 chunk holding the true
// sizes, as wav_finish_rf64 leaves a file. Closes the file, setting *handle to null.
int32_t wav_finish_growable(HMMIO* handle, MMCKINFO* chunk, MMCKINFO* riff, MMIOINFO* io, uint64_t sampleCount);
// As wav_settle for a file made by wav_create_growable; one whose data on disk no longer
// fits a RIFF form is turned into RF64 first and settled as wav_settle_rf64 settles.
int32_t wav_settle_growable(HMMIO spare, const MMCKINFO* chunk, uint64_t bytesPlaced, WORD blockAlign);

// ---- Writing to a stream (a handle of mmioOpenDescriptor on a pipe, a socket, a FIFO or
// a device), which cannot seek: the header goes out once, before the samples, and is
// never revisited. Calls: wav_begin_stream, wav_write..., wav_finish_stream.

// The number of sample bytes of a stream that is not known when it begins.
inline constexpr uint64_t WAV_STREAM_SIZE_UNKNOWN = UINT64_MAX;
// Writes the whole header of a stream that will carry dataBytes sample bytes: the file
// wav_create, wav_begin_data and wav_finish would make of them, exact sizes and fact count
// included (the RF64 form of wav_create_rf64, its sizes in ds64, when wav_needs_rf64 says
// so). For WAV_STREAM_SIZE_UNKNOWN the RIFF size, the data size and the fact count are
// 0xFFFFFFFF: the conventional streamed WAVE file, which readers take to the end of the
// stream. Then takes over the I/O buffer into *io as wav_begin_data does; chunk describes
// the data chunk.
int32_t wav_begin_stream(HMMIO handle, const WAVEFORMATEX* format, uint64_t dataBytes, MMCKINFO* chunk, MMIOINFO* io);
// Hands the buffer back, appends the pad byte of odd data and closes the handle, setting
// *handle to null, also on failure. dataBytes: as given to wav_begin_stream. A stream
// whose data bytes differ from the size its header announced gets no pad byte and
// WAV_ERR_TRUNCATED. A stream whose reader went away fails with MMIOERR_CANNOTWRITE.
int32_t wav_finish_stream(HMMIO* handle, MMCKINFO* chunk, MMIOINFO* io, uint64_t dataBytes);
// As wav_begin_stream, with side chunks as wav_create_with_chunks places them (leading
// before fmt, middle between fact and data), and trailingBytes of chunks that
// wav_finish_stream_with_chunks will append after the data: counted in the sizes now. A
// stream of unknown size takes no trailing chunks (its readers read to its end).
int32_t wav_begin_stream_with_chunks(HMMIO handle, const WAVEFORMATEX* format, uint64_t dataBytes,
                                     const BYTE* leading, DWORD leadingBytes, const BYTE* middle, DWORD middleBytes,
                                     DWORD trailingBytes, MMCKINFO* chunk, MMIOINFO* io);
// As wav_finish_stream, then the trailing chunks (exactly the trailingBytes announced).
int32_t wav_finish_stream_with_chunks(HMMIO* handle, MMCKINFO* chunk, MMIOINFO* io, uint64_t dataBytes,
                                      const BYTE* trailing, DWORD trailingBytes);

// ---- Reading: wav_open, [wav_copy_extra_chunks], wav_begin_read, wav_read..., wav_close_read.

// Opens a RIFF WAVE file and reads its fmt chunk into a format block of 18 + cbSize
// bytes that the caller owns (release with wav_close_read or GlobalFree). On failure
// both *handle and *format are 0. RIFF forms only: an RF64 file, whose sizes the 32-bit
// records cannot hold, gives WAV_ERR_BAD_FORMAT.
int32_t wav_open(const char* fileName, HMMIO* handle, WAVEFORMATEX** format, MMCKINFO* riff);
// Finds the data chunk and stands at its first byte; data->cksize is its size.
int32_t wav_begin_read(HMMIO* handle, MMCKINFO* data, MMCKINFO* riff);
// Copies up to wanted bytes of the data chunk; data->cksize counts what remains.
// Returns 1 when the file's buffer state cannot be taken over.
int32_t wav_read(HMMIO handle, DWORD wanted, BYTE* dest, MMCKINFO* data, DWORD* delivered);
// Releases the format block and closes the file; both become 0. Always 0.
int32_t wav_close_read(HMMIO* handle, WAVEFORMATEX** format);

// ---- Chunk copying and whole-file load and save.

// Copies every top-level DISP and plst chunk of an opened source to dest, in source
// order, and leaves the source at its first inner chunk.
int32_t wav_copy_extra_chunks(HMMIO* source, MMCKINFO* cursor, MMCKINFO* riff, HMMIO* dest);
// Copies one entered chunk, header and data, to dest: 1 copied, 0 not copied.
int32_t wav_copy_chunk(HMMIO source, HMMIO dest, MMCKINFO* chunk);
// Reads a whole file into a format block and a data block, both the caller's to GlobalFree.
int32_t wav_load(const char* fileName, DWORD* size, WAVEFORMATEX** format, BYTE** data);
// Writes a whole file from a format record and byteCount data bytes.
int32_t wav_save(const char* fileName, DWORD byteCount, DWORD sampleCount, const WAVEFORMATEX* format,
                 const BYTE* data);

// ---- One module-level PCM output file, for one thread: out_file_open, out_file_write...,
// out_file_close, then the next file may be opened.
//
// out_file_open creates a PCM file with rate as nSamplesPerSec, bits as wBitsPerSample,
// channels as nChannels, nBlockAlign = (bits / 8) * channels keeping the low 16 bits and
// nAvgBytesPerSec = rate * (bits / 8) * channels wrapped to 32 bits (bits / 8 truncates,
// so widths of 1 to 7 bits give 0 for both), and begins its data chunk. It returns the
// first non-zero result of wav_create and wav_begin_data. While a file is open, also one
// whose open failed after creating it, it returns MMSYSERR_ALLOCATED and changes nothing.
// out_file_write appends the bytes and returns wav_write's result; the bytes placed count
// towards the frame total even when it fails. With no file open, or only one whose open
// failed, it returns MMSYSERR_INVALHANDLE and changes nothing.
// out_file_close finishes the file with the number of frames written (bytes placed /
// nBlockAlign, 0 when that is 0) as the fact count and returns wav_finish's result; the
// file is closed whatever the result. A file whose open failed after creating it is only
// closed, not finished, and the result is that of the close. With no file open: 0.

int32_t out_file_open(const char* fileName, int32_t rate, int16_t bits, int16_t channels);
int32_t out_file_write(const BYTE* bytes, DWORD count);
int32_t out_file_close();
