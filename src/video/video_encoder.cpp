#include "video/video_encoder.h"

#include "framework/exceptions.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace pelisto {

namespace {

// The encoder's settings: x264's "medium" preset tuned for still pictures, the High profile
// (every phone since about 2012 plays it at up to 1080p; the level follows from the size).
constexpr const char* kEncoder = "libx264";
constexpr const char* kPreset = "medium";
constexpr const char* kTune = "stillimage";
constexpr const char* kProfile = "high";
constexpr int kKeyframeSeconds = 5;
constexpr int kBufferSize = 256 * 1024;

QString AvText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

// A view of the descriptor with its own position: the muxer writes through one and, to move
// the index to the front, reads through a second one at the same time.
struct FileView {
    int descriptor = -1;
    std::int64_t position = 0;
    int error = 0; // the errno of the first failed write or read
};

int ReadView(void* opaque, std::uint8_t* buffer, int size) {
    auto* view = static_cast<FileView*>(opaque);
    ssize_t n;
    do {
        n = ::pread(view->descriptor, buffer, static_cast<std::size_t>(size), view->position);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        view->error = errno;
        return AVERROR(errno);
    }
    if (n == 0) {
        return AVERROR_EOF;
    }
    view->position += n;
    return static_cast<int>(n);
}

int WriteView(void* opaque, std::uint8_t* buffer, int size) {
    auto* view = static_cast<FileView*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(view->descriptor, buffer + done,
                                   static_cast<std::size_t>(size - done), view->position);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            view->error = n < 0 ? errno : ENOSPC;
            return AVERROR(view->error);
        }
        done += static_cast<int>(n);
        view->position += n;
    }
    return done;
}

std::int64_t SeekView(void* opaque, std::int64_t offset, int whence) {
    auto* view = static_cast<FileView*>(opaque);
    if ((whence & AVSEEK_SIZE) != 0) {
        const off_t end = ::lseek(view->descriptor, 0, SEEK_END);
        return end < 0 ? AVERROR(errno) : end;
    }
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += view->position;
        break;
    case SEEK_END: {
        const off_t end = ::lseek(view->descriptor, 0, SEEK_END);
        if (end < 0) {
            return AVERROR(errno);
        }
        offset += end;
        break;
    }
    default:
        return AVERROR(EINVAL);
    }
    if (offset < 0) {
        return AVERROR(EINVAL);
    }
    view->position = offset;
    return offset;
}

AVIOContext* OpenView(FileView* view, bool write) {
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (buffer == nullptr) {
        return nullptr;
    }
    AVIOContext* io = avio_alloc_context(buffer, kBufferSize, write ? 1 : 0, view, ReadView,
                                         write ? WriteView : nullptr, SeekView);
    if (io == nullptr) {
        av_free(buffer);
    }
    return io;
}

void CloseView(AVIOContext*& io) {
    if (io != nullptr) {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
}

} // namespace

struct VideoEncoder::State {
    QString name;
    VideoFrameSize size;
    FileView writeView;
    FileView readView; // for the muxer's second pass
    AVFormatContext* format = nullptr;
    AVIOContext* io = nullptr;
    AVIOContext* readIo = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    std::int64_t frames = 0;
    bool finished = false;

    ~State() {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        if (format != nullptr) {
            format->pb = nullptr;
            avformat_free_context(format);
        }
        CloseView(readIo);
        CloseView(io);
    }

    // What went wrong, with the system's cause when it was the file.
    [[noreturn]] void Fail(int error) const {
        const int cause = writeView.error != 0 ? writeView.error : readView.error;
        if (cause != 0) {
            throw EFCreateError(name, QString::fromLocal8Bit(std::strerror(cause)));
        }
        throw Exception(
            QStringLiteral("%1 cannot be written as a video: %2").arg(name, AvText(error)));
    }

    // The muxer reopens its output to move the index to the front: it gets the second view.
    static int OpenAgain(AVFormatContext* s, AVIOContext** pb, const char*, int flags,
                         AVDictionary**) {
        auto* self = static_cast<State*>(s->opaque);
        if ((flags & AVIO_FLAG_WRITE) != 0 || self->readIo != nullptr) {
            return AVERROR(EPERM);
        }
        self->readView = {self->writeView.descriptor, 0, 0};
        self->readIo = OpenView(&self->readView, false);
        if (self->readIo == nullptr) {
            return AVERROR(ENOMEM);
        }
        *pb = self->readIo;
        return 0;
    }
    static int CloseAgain(AVFormatContext* s, AVIOContext* pb) {
        auto* self = static_cast<State*>(s->opaque);
        if (pb == self->readIo) {
            CloseView(self->readIo);
        }
        return 0;
    }

    void Drain() {
        for (;;) {
            const int got = avcodec_receive_packet(codec, packet);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) {
                return;
            }
            if (got < 0) {
                Fail(got);
            }
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            const int written = av_interleaved_write_frame(format, packet);
            if (written < 0) {
                Fail(written);
            }
        }
    }
};

VideoEncoder::VideoEncoder(int descriptor, const QString& fileName, VideoFrameSize frame,
                           int rateFactor)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.name = fileName;
    s.size = frame;
    s.writeView.descriptor = descriptor;
    // The libraries' own chatter (the encoder's settings and statistics) is not for the user;
    // their errors come back as results and are reported from here.
    av_log_set_level(AV_LOG_ERROR);
    const AVCodec* h264 = avcodec_find_encoder_by_name(kEncoder);
    if (h264 == nullptr) {
        throw Exception(QStringLiteral("%1 cannot be written: this system's FFmpeg libraries have "
                                       "no H.264 encoder (%2)")
                            .arg(fileName, QLatin1String(kEncoder)));
    }
    int error = avformat_alloc_output_context2(&s.format, nullptr, "mp4", nullptr);
    if (error < 0 || s.format == nullptr) {
        s.Fail(error < 0 ? error : AVERROR(ENOMEM));
    }
    s.io = OpenView(&s.writeView, true);
    if (s.io == nullptr) {
        throw std::bad_alloc();
    }
    s.format->pb = s.io;
    s.format->flags |= AVFMT_FLAG_CUSTOM_IO;
    s.format->opaque = &s;
    s.format->io_open = State::OpenAgain;
    s.format->io_close2 = State::CloseAgain;

    s.codec = avcodec_alloc_context3(h264);
    s.stream = avformat_new_stream(s.format, nullptr);
    s.frame = av_frame_alloc();
    s.packet = av_packet_alloc();
    if (s.codec == nullptr || s.stream == nullptr || s.frame == nullptr || s.packet == nullptr) {
        throw std::bad_alloc();
    }
    AVCodecContext* c = s.codec;
    c->width = frame.width;
    c->height = frame.height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = {1, kVideoFramesPerSecond};
    c->framerate = {kVideoFramesPerSecond, 1};
    c->sample_aspect_ratio = {1, 1};
    c->gop_size = kKeyframeSeconds * kVideoFramesPerSecond;
    c->color_primaries = AVCOL_PRI_BT709;
    c->color_trc = AVCOL_TRC_BT709;
    c->colorspace = AVCOL_SPC_BT709;
    c->color_range = AVCOL_RANGE_MPEG;
    if ((s.format->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    av_opt_set(c->priv_data, "preset", kPreset, 0);
    av_opt_set(c->priv_data, "tune", kTune, 0);
    av_opt_set(c->priv_data, "profile", kProfile, 0);
    av_opt_set_double(c->priv_data, "crf", rateFactor, 0);
    if ((error = avcodec_open2(c, h264, nullptr)) < 0) {
        s.Fail(error);
    }
    if ((error = avcodec_parameters_from_context(s.stream->codecpar, c)) < 0) {
        s.Fail(error);
    }
    s.stream->time_base = c->time_base;
    s.stream->avg_frame_rate = c->framerate;
    s.stream->r_frame_rate = c->framerate;

    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    error = avformat_write_header(s.format, &options);
    av_dict_free(&options);
    if (error < 0) {
        s.Fail(error);
    }

    s.frame->format = AV_PIX_FMT_YUV420P;
    s.frame->width = frame.width;
    s.frame->height = frame.height;
    s.frame->color_primaries = AVCOL_PRI_BT709;
    s.frame->color_trc = AVCOL_TRC_BT709;
    s.frame->colorspace = AVCOL_SPC_BT709;
    s.frame->color_range = AVCOL_RANGE_MPEG;
    if ((error = av_frame_get_buffer(s.frame, 0)) < 0) {
        s.Fail(error);
    }
}

VideoEncoder::~VideoEncoder() = default;

std::int64_t VideoEncoder::FrameCount() const {
    return state_->frames;
}

void VideoEncoder::Add(const YuvFrame& frame, std::int64_t count, const std::atomic<bool>* cancel) {
    State& s = *state_;
    if (count <= 0) {
        return;
    }
    if (frame.width != s.size.width || frame.height != s.size.height) {
        throw Exception(QStringLiteral("%1: a frame of the wrong size").arg(s.name));
    }
    // The encoder may still hold the last frame's buffer: a new one is made then.
    int error = av_frame_make_writable(s.frame);
    if (error < 0) {
        s.Fail(error);
    }
    const auto copyPlane = [](const std::vector<std::uint8_t>& from, int width, int height,
                              std::uint8_t* to, int stride) {
        for (int row = 0; row < height; ++row) {
            std::memcpy(to + static_cast<std::ptrdiff_t>(row) * stride,
                        from.data() +
                            static_cast<std::size_t>(row) * static_cast<std::size_t>(width),
                        static_cast<std::size_t>(width));
        }
    };
    copyPlane(frame.y, frame.width, frame.height, s.frame->data[0], s.frame->linesize[0]);
    copyPlane(frame.u, frame.width / 2, frame.height / 2, s.frame->data[1], s.frame->linesize[1]);
    copyPlane(frame.v, frame.width / 2, frame.height / 2, s.frame->data[2], s.frame->linesize[2]);
    for (std::int64_t i = 0; i < count; ++i) {
        if (cancel != nullptr && cancel->load()) {
            throw EAbort();
        }
        s.frame->pts = s.frames++;
        if ((error = avcodec_send_frame(s.codec, s.frame)) < 0) {
            s.Fail(error);
        }
        s.Drain();
    }
}

void VideoEncoder::Finish() {
    State& s = *state_;
    if (s.finished) {
        return;
    }
    s.finished = true;
    int error = avcodec_send_frame(s.codec, nullptr);
    if (error < 0) {
        s.Fail(error);
    }
    s.Drain();
    if ((error = av_write_trailer(s.format)) < 0) {
        s.Fail(error);
    }
    avio_flush(s.io);
    if (s.io->error < 0 || s.writeView.error != 0) {
        s.Fail(s.io->error < 0 ? s.io->error : AVERROR(s.writeView.error));
    }
}

} // namespace pelisto
