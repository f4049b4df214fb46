#include "output/report_stream.h"

ReportStream::ReportStream(ReportSink& sink) : std::ostream(nullptr), buffer(sink) {
    rdbuf(&buffer);
}

ReportStream& ReportStream::driverText(const char* text, std::size_t limit) {
    buffer.sink.writeDriverText(text, limit);
    return *this;
}

ReportStream& ReportStream::latin1(const char* text) {
    buffer.sink.writeLatin1(text);
    return *this;
}

ReportStream& ReportStream::serviceText(const std::u16string& text) {
    buffer.sink.writeServiceText(text);
    return *this;
}

ReportStream::Forward::int_type ReportStream::Forward::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    const char character = traits_type::to_char_type(c);
    sink.write(&character, 1);
    return c;
}

std::streamsize ReportStream::Forward::xsputn(const char* text, std::streamsize count) {
    sink.write(text, static_cast<std::size_t>(count));
    return count;
}

int ReportStream::Forward::sync() {
    return sink.flush() ? 0 : -1;
}
