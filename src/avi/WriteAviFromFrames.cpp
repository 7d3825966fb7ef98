// WriteAviFromFrames: the frame files of the Fade job, re-saved one by one through the resaver and
// read by FrameBitmap, become the AVI stream. Separate from AviStreamWriter because it works on the
// window's surfaces.
#include "avi/AviWriter.h"

#include "platform/Controls.h"
#include "platform/WorkSurface.h"

#include <system_error>

namespace vantorell {

namespace {

void resaveFrame(const AviFrameSource& source, const std::filesystem::path& frame, const std::filesystem::path& temp)
{
    source.resaver.refresh();
    std::error_code ec;
    std::filesystem::remove(temp, ec);
    // A frame file that already is a bitmap the reader takes needs no decoding and encoding to
    // become the re-saved frame: a link to it (or a copy) has the frame's pixels. Both live in the job's
    // private folder. Anything else goes through the picture loader, which reports a missing
    // or damaged frame to the Start command as the loader's error.
    if (FrameBitmap::checkFile(frame) == FrameBitmapError::None) {
        std::filesystem::create_hard_link(frame, temp, ec);
        if (!ec)
            return;
        if (std::filesystem::copy_file(frame, temp, std::filesystem::copy_options::overwrite_existing, ec) && !ec)
            return;
    }
    source.resaver.setAutoSize(true);   // the re-saved file has the frame's own size
    source.resaver.loadPicture(frame);
    source.resaver.saveAsBitmapFile(temp);
}

}  // namespace

AviWriteResult WriteAviFromFrames(const std::filesystem::path& path, std::int16_t framesPerSecond, const AviFrameSource& source)
{
    const std::filesystem::path& temp = source.resavedFrame;
    const auto& frameFile = source.frameFile;
    auto show = [&](const std::string& text) {
        source.ui.messageBox(text, MsgButtons::Ok, MsgIcon::None, source.applicationTitle);
    };

    int error = 0;
    bool cancelled = false;
    {
        AviStreamWriter avi;
        FrameBitmap bitmap(&source.ui, source.applicationTitle);
        error = avi.open(path);
        if (error == 0) {
            resaveFrame(source, frameFile(0), temp);
            if (!bitmap.createFromFile(temp)) {
                show("Could not load first bitmap file in list");
                std::error_code ec;
                std::filesystem::remove(temp, ec);
                return AviWriteResult::Failed;
            }
            error = avi.createStream(bitmap.infoHeader(), bitmap.bitmapInfo(), AviStreamRate(framesPerSecond));
            std::optional<CompressorChoice> choice;
            if (error == 0) {
                choice = source.ui.chooseCompressor(AviCompressors(framesPerSecond));
                if (!choice)
                    avi.writeEmpty();   // cancelled: an AVI without frames, and no message
            }
            if (error == 0 && choice)
                error = avi.makeCompressed(*choice);
            if (error == 0 && choice) {
                const int n = source.frameCount();
                source.progress.setMax(n - 1);
                source.progress.setValue(0);
                for (int i = 0; i < n; ++i) {
                    resaveFrame(source, frameFile(i), temp);
                    bitmap.createFromFile(temp);   // on failure the previous frame's bytes go again
                    error = avi.writeFrame(bitmap.bits(), i);
                    std::error_code ec;
                    std::filesystem::remove(temp, ec);
                    source.progress.setValue(i);
                    if (error != 0)
                        break;   // the first failure stands: a later frame must not hide it
                }
            }
            const int closing = avi.finish();
            if (error == 0 && choice)
                error = closing;
            cancelled = error == 0 && !choice;
        }
        std::error_code ec;
        std::filesystem::remove(temp, ec);
    }
    if (error != 0) {
        show("There was an error writing to file");
        return AviWriteResult::Failed;
    }
    return cancelled ? AviWriteResult::Cancelled : AviWriteResult::Written;
}

}  // namespace vantorell
