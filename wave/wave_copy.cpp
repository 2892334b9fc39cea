// Copying side chunks from a WAVE file being read to one being written: the display
// (DISP) and playlist (plst) chunks of the form, header and data, in source order.

#include <cstdint>

#include "wave/file_access.h"
#include "wave/first_inner_chunk.h"
#include "wave/fourcc.h"
#include "wave/wave.h"

namespace {

// Taken in 64 bits, so that an announced end past 2^32 cannot wrap round into the form.
bool reachesBeyondForm(const MMCKINFO& chunk, const MMCKINFO& riff)
{
    return std::uint64_t{chunk.dwDataOffset} + chunk.cksize > std::uint64_t{riff.dwDataOffset} + riff.cksize;
}

bool isCopiedSideChunk(FOURCC id)
{
    return id == kFourccDisp || id == kFourccPlst;
}

void releaseLockedBlock(BYTE* address)
{
    const HGLOBAL block = GlobalHandle(address);
    GlobalUnlock(block);
    GlobalFree(block);
}

}  // namespace

int32_t wav_copy_extra_chunks(HMMIO* source, MMCKINFO* cursor, MMCKINFO* riff, HMMIO* dest)
{
    int32_t result = 0;
    if (seekToFirstInnerChunk(*source, *riff) == -1) {
        result = WAV_ERR_READ_FAILED;
    } else {
        // Only the form's top-level chunks are visited; the end of the file and a chunk
        // that reaches beyond the form both end the walk without an error.
        while (mmioDescend(*source, cursor, riff, 0) == 0 && !reachesBeyondForm(*cursor, *riff)) {
            if (isCopiedSideChunk(cursor->ckid)) {
                // A chunk that cannot be copied is left out; the others still are.
                wav_copy_chunk(*source, *dest, cursor);
            }
            mmioAscend(*source, cursor, 0);
        }
    }
    // Reading the samples starts from the first inner chunk, whatever the walk did.
    seekToFirstInnerChunk(*source, *riff);
    return result;
}

int32_t wav_copy_chunk(HMMIO source, HMMIO dest, MMCKINFO* chunk)
{
    // A chunk that announces more than the file holds from its first data byte gets no buffer.
    if (!fileHolds(source, chunk->dwDataOffset, chunk->cksize)) {
        return 0;
    }
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, chunk->cksize);
    auto* const buffer = static_cast<BYTE*>(GlobalLock(block));
    if (buffer == nullptr) {
        // A movable block of 0 bytes cannot be locked: an empty chunk is not copied.
        GlobalFree(block);
        return 0;
    }
    MMCKINFO copy{};
    copy.ckid = chunk->ckid;
    copy.cksize = chunk->cksize;
    const bool copied = mmioCreateChunk(dest, &copy, 0) == 0 && readExactly(source, buffer, chunk->cksize) &&
                        writeExactly(dest, buffer, chunk->cksize) && mmioAscend(dest, &copy, 0) == 0;
    releaseLockedBlock(buffer);
    return copied ? 1 : 0;
}
