#include "dialog_template.h"

#include <cstring>

namespace orvanta::test {

namespace {

// Reads the template front to back; any read past the end marks the whole decode as failed.
class Reader {
public:
    Reader(const BYTE* data, std::size_t size) : data_(data), size_(size) {}

    bool ok() const { return ok_; }

    template <class T> T get()
    {
        T value{};
        if (size_ - at_ < sizeof(T)) {
            ok_ = false;
            at_ = size_;
            return value;
        }
        std::memcpy(&value, data_ + at_, sizeof(T));
        at_ += sizeof(T);
        return value;
    }

    std::wstring string()
    {
        std::wstring text;
        for (wchar_t c = get<WORD>(); ok_ && c; c = get<WORD>())
            text.push_back(c);
        return text;
    }

    // 0x0000: empty; 0xFFFF: an ordinal follows; otherwise a string.
    TemplateName name()
    {
        TemplateName result;
        const WORD first = get<WORD>();
        if (first == 0xFFFF) {
            result.ordinal = get<WORD>();
        } else if (first != 0) {
            result.text.push_back(static_cast<wchar_t>(first));
            result.text += string();
        }
        return result;
    }

    std::vector<BYTE> bytes(std::size_t count)
    {
        if (size_ - at_ < count) {
            ok_ = false;
            at_ = size_;
            return {};
        }
        std::vector<BYTE> out(data_ + at_, data_ + at_ + count);
        at_ += count;
        return out;
    }

    // Items start on DWORD boundaries.
    void align()
    {
        at_ = (at_ + 3) & ~std::size_t{3};
        if (at_ > size_) {
            ok_ = false;
            at_ = size_;
        }
    }

private:
    const BYTE* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

DialogItem read_item(Reader& in)
{
    DialogItem item;
    in.align();
    item.help_id = in.get<DWORD>();
    item.ex_style = in.get<DWORD>();
    item.style = in.get<DWORD>();
    item.x = in.get<short>();
    item.y = in.get<short>();
    item.cx = in.get<short>();
    item.cy = in.get<short>();
    item.id = in.get<DWORD>();
    item.window_class = in.name();
    item.title = in.name();
    item.extra = in.bytes(in.get<WORD>());
    return item;
}

}  // namespace

std::optional<DialogTemplate> decode_dialog_template(const BYTE* data, std::size_t size)
{
    Reader in(data, size);
    DialogTemplate dialog;
    dialog.version = in.get<WORD>();
    dialog.signature = in.get<WORD>();
    if (dialog.version != 1 || dialog.signature != 0xFFFF)
        return std::nullopt;
    dialog.help_id = in.get<DWORD>();
    dialog.ex_style = in.get<DWORD>();
    dialog.style = in.get<DWORD>();
    const WORD count = in.get<WORD>();
    dialog.x = in.get<short>();
    dialog.y = in.get<short>();
    dialog.cx = in.get<short>();
    dialog.cy = in.get<short>();
    dialog.menu = in.name();
    dialog.window_class = in.name();
    dialog.title = in.string();
    if (dialog.style & (DS_SETFONT | DS_SHELLFONT)) {
        dialog.point_size = in.get<WORD>();
        dialog.weight = in.get<WORD>();
        dialog.italic = in.get<BYTE>();
        dialog.charset = in.get<BYTE>();
        dialog.typeface = in.string();
    }
    for (WORD i = 0; i < count && in.ok(); ++i)
        dialog.items.push_back(read_item(in));
    if (!in.ok())
        return std::nullopt;
    return dialog;
}

}  // namespace orvanta::test
