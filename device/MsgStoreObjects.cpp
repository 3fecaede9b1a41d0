#include "device/MsgStoreObjects.h"

#include <atomic>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "device/Clock.h"
#include "device/MessageDatabase.h"
#include "device/Sqlite.h"
#include "device/Text.h"

namespace velmo::device {

namespace {

// No exception leaves an interface method: failures become MAPI result codes.
template <typename Body>
HRESULT Guard(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    } catch (const sqlite::NoSpaceError&) {
        return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    } catch (...) {
        return MAPI_E_CALL_FAILED;
    }
}

struct MapiBufferDeleter {
    void operator()(void* buffer) const { MAPIFreeBuffer(buffer); }
};

void* AllocateMore(std::size_t size, void* root) {
    void* buffer = nullptr;
    if (MAPIAllocateMore(static_cast<ULONG>(size), root, &buffer) != S_OK) throw std::bad_alloc();
    return buffer;
}

bool IsString(ULONG type) { return type == PT_UNICODE || type == PT_STRING8; }

// Fills value with the stored property as the tag asks for it, allocating its text or
// bytes "more" on root; false when the stored value cannot answer that type.
bool AnswerAs(ULONG tag, ULONG flags, const Property& stored, SPropValue& value, void* root) {
    if (!HoldsTypeOfTag(stored)) return false;
    ULONG stype = PROP_TYPE(stored.tag);
    ULONG type = PROP_TYPE(tag);
    if (type == PT_UNSPECIFIED) type = IsString(stype) ? ((flags & MAPI_UNICODE) ? PT_UNICODE : PT_STRING8) : stype;
    if (type != stype && !(IsString(type) && IsString(stype))) return false;
    value.ulPropTag = CHANGE_PROP_TYPE(tag, type);
    value.dwAlignPad = 0;
    const std::int64_t* number = stored.AsNumber();
    switch (type) {
        case PT_SHORT: value.Value.i = static_cast<SHORT>(*number); return true;
        case PT_LONG: value.Value.l = static_cast<LONG>(*number); return true;
        case PT_BOOLEAN: value.Value.b = *number != 0 ? 1 : 0; return true;
        case PT_SYSTIME: value.Value.ft = Split(static_cast<std::uint64_t>(*number)); return true;
        case PT_UNICODE: {
            std::u16string text = stype == PT_UNICODE
                                      ? *stored.AsText()
                                      : ToUtf16({reinterpret_cast<const char*>(std::get<2>(stored.value).data()),
                                                 std::get<2>(stored.value).size()});
            auto* out = static_cast<WCHAR*>(AllocateMore((text.size() + 1) * sizeof(WCHAR), root));
            std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
            value.Value.lpszW = out;
            return true;
        }
        case PT_STRING8: {
            std::string text = stype == PT_STRING8
                                   ? std::string(std::get<2>(stored.value).begin(), std::get<2>(stored.value).end())
                                   : ToUtf8(*stored.AsText());
            auto* out = static_cast<char*>(AllocateMore(text.size() + 1, root));
            std::memcpy(out, text.c_str(), text.size() + 1);
            value.Value.lpszA = out;
            return true;
        }
        case PT_BINARY: {
            const auto& bytes = std::get<2>(stored.value);
            auto* out = static_cast<BYTE*>(AllocateMore(bytes.size(), root));
            if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
            value.Value.bin = SBinary{static_cast<ULONG>(bytes.size()), out};
            return true;
        }
        default: return false;
    }
}

// GetProps over the properties an object has: every asked tag gets its value or a
// PT_ERROR of MAPI_E_NOT_FOUND; all of them (as stored) when tags is null.
HRESULT AnswerProps(LPSPropTagArray tags, ULONG flags, const std::vector<Property>& available, ULONG* count,
                    LPSPropValue* values) {
    if (count == nullptr || values == nullptr) return MAPI_E_INVALID_PARAMETER;
    *count = 0;
    *values = nullptr;
    std::vector<ULONG> asked;
    if (tags != nullptr) {
        const ULONG* tag = tags->aulPropTag;
        asked.assign(tag, tag + tags->cValues);
    } else {
        for (const auto& property : available) asked.push_back(CHANGE_PROP_TYPE(property.tag, PT_UNSPECIFIED));
    }
    if (asked.size() > std::numeric_limits<ULONG>::max() / sizeof(SPropValue)) return MAPI_E_INVALID_PARAMETER;
    void* root = nullptr;
    if (MAPIAllocateBuffer(static_cast<ULONG>(asked.size() * sizeof(SPropValue)), &root) != S_OK) {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    std::unique_ptr<void, MapiBufferDeleter> owner(root);
    auto* out = static_cast<SPropValue*>(root);
    bool missing = false;
    for (std::size_t i = 0; i < asked.size(); ++i) {
        const Property* found = nullptr;
        for (const auto& property : available) {
            if (PROP_ID(property.tag) == PROP_ID(asked[i])) found = &property;
        }
        if (found == nullptr || !AnswerAs(asked[i], flags, *found, out[i], root)) {
            out[i].ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(asked[i]));
            out[i].dwAlignPad = 0;
            out[i].Value.err = MAPI_E_NOT_FOUND;
            missing = true;
        }
    }
    *count = static_cast<ULONG>(asked.size());
    *values = static_cast<LPSPropValue>(owner.release());
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

// The property a SetProps value stores, or the problem it has (0 for values that are skipped).
std::optional<Property> ToStored(const SPropValue& value, SCODE& problem) {
    problem = S_OK;
    ULONG tag = value.ulPropTag;
    switch (PROP_TYPE(tag)) {
        case PT_SHORT: return Property::Number(tag, value.Value.i);
        case PT_LONG: return Property::Number(tag, value.Value.l);
        case PT_BOOLEAN: return Property::Number(tag, value.Value.b != 0 ? 1 : 0);
        case PT_SYSTIME: return Property::Time(tag, value.Value.ft);
        case PT_UNICODE:
            if (value.Value.lpszW == nullptr) break;
            return Property::Text(tag, std::u16string(value.Value.lpszW, Length(value.Value.lpszW)));
        case PT_STRING8: {
            if (value.Value.lpszA == nullptr) break;
            const auto* text = reinterpret_cast<const std::uint8_t*>(value.Value.lpszA);
            return Property{tag, std::vector<std::uint8_t>(text, text + std::strlen(value.Value.lpszA))};
        }
        case PT_BINARY: {
            const SBinary& bin = value.Value.bin;
            if (bin.lpb == nullptr && bin.cb > 0) break;
            return Property{
                tag, bin.cb > 0 ? std::vector<std::uint8_t>(bin.lpb, bin.lpb + bin.cb) : std::vector<std::uint8_t>{}};
        }
        case PT_ERROR:
        case PT_NULL:
        case PT_UNSPECIFIED: return std::nullopt;
        default: problem = MAPI_E_INVALID_TYPE; return std::nullopt;
    }
    problem = MAPI_E_INVALID_PARAMETER;
    return std::nullopt;
}

// The problem array SetProps hands back: null when there is none.
HRESULT ReportProblems(const std::vector<SPropProblem>& problems, LPSPropProblemArray* out) {
    if (out == nullptr) return S_OK;
    *out = nullptr;
    if (problems.empty()) return S_OK;
    void* buffer = nullptr;
    std::size_t size = sizeof(SPropProblemArray) + (problems.size() - 1) * sizeof(SPropProblem);
    if (MAPIAllocateBuffer(static_cast<ULONG>(size), &buffer) != S_OK) return MAPI_E_NOT_ENOUGH_MEMORY;
    auto* array = static_cast<SPropProblemArray*>(buffer);
    array->cProblem = static_cast<ULONG>(problems.size());
    std::memcpy(array->aProblem, problems.data(), problems.size() * sizeof(SPropProblem));
    *out = array;
    return S_OK;
}

// Reference counting shared by the objects; an object ends itself with its last Release.
template <typename Derived, typename Interface>
class Object : public Interface {
public:
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        ULONG left = --references_;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }

protected:
    // Answers the interfaces in ids (IUnknown always) with this object.
    HRESULT Answer(const GUID& riid, void** object, std::initializer_list<const IID*> ids) {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        bool known = riid == IID_IUnknown;
        for (const IID* id : ids) known = known || riid == *id;
        if (!known) return E_NOINTERFACE;
        AddRef();
        *object = static_cast<Interface*>(this);
        return S_OK;
    }

private:
    std::atomic<ULONG> references_{1};
};

class Message final : public Object<Message, IMessage> {
public:
    Message(std::shared_ptr<MessageDatabase> database, std::int64_t row) : database_(std::move(database)), row_(row) {}

    HRESULT QueryInterface(const GUID& riid, void** object) override {
        return Answer(riid, object, {&IID_IMAPIProp, &IID_IMessage});
    }

    HRESULT GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) override {
        return Guard([&] {
            std::vector<Property> available = database_->ReadProperties(row_);
            available.push_back({PR_ENTRYID, MakeEntryId(EntryKind::Message, row_)});
            return AnswerProps(tags, flags, available, count, values);
        });
    }

    HRESULT SetProps(ULONG count, LPSPropValue values, LPSPropProblemArray* problems) override {
        if (count > 0 && values == nullptr) return MAPI_E_INVALID_PARAMETER;
        return Guard([&] {
            std::vector<SPropProblem> found;
            MessageDatabase::Transaction transaction(*database_);
            if (!database_->MessageExists(row_)) return MAPI_E_NOT_FOUND;
            for (ULONG i = 0; i < count; ++i) {
                SCODE problem = MAPI_E_COMPUTED;
                std::optional<Property> property;
                if (PROP_ID(values[i].ulPropTag) != PROP_ID(PR_ENTRYID)) property = ToStored(values[i], problem);
                if (property) database_->WriteProperty(row_, *property);
                if (problem != S_OK) found.push_back({i, values[i].ulPropTag, problem});
            }
            transaction.Commit();
            return ReportProblems(found, problems);
        });
    }

private:
    std::shared_ptr<MessageDatabase> database_;
    std::int64_t row_;
};

class Folder final : public Object<Folder, IMAPIFolder> {
public:
    Folder(std::shared_ptr<MessageDatabase> database, std::int64_t row, std::u16string name)
        : database_(std::move(database)), row_(row), name_(std::move(name)) {}

    HRESULT QueryInterface(const GUID& riid, void** object) override {
        return Answer(riid, object, {&IID_IMAPIProp, &IID_IMAPIFolder});
    }

    HRESULT GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) override {
        return Guard([&] {
            std::vector<Property> available{{PR_ENTRYID, MakeEntryId(EntryKind::Folder, row_)},
                                            Property::Text(PR_DISPLAY_NAME_W, name_)};
            return AnswerProps(tags, flags, available, count, values);
        });
    }

    // A folder's own properties are fixed by the device.
    HRESULT SetProps(ULONG, LPSPropValue, LPSPropProblemArray* problems) override {
        if (problems != nullptr) *problems = nullptr;
        return MAPI_E_NO_SUPPORT;
    }

    HRESULT CreateMessage(const IID* iid, ULONG, IMessage** message) override {
        if (message == nullptr) return MAPI_E_INVALID_PARAMETER;
        *message = nullptr;
        if (iid != nullptr && !(*iid == IID_IMessage || *iid == IID_IMAPIProp || *iid == IID_IUnknown)) {
            return MAPI_E_INTERFACE_NOT_SUPPORTED;
        }
        return Guard([&] {
            *message = new Message(database_, database_->CreateMessage(row_));
            return S_OK;
        });
    }

    HRESULT DeleteMessages(LPENTRYLIST list, ULONG, void*, ULONG) override {
        if (list == nullptr || (list->cValues > 0 && list->lpbin == nullptr)) return MAPI_E_INVALID_PARAMETER;
        return Guard([&] {
            bool partial = false;
            MessageDatabase::Transaction transaction(*database_);
            for (ULONG i = 0; i < list->cValues; ++i) {
                auto entry = ParseEntryId(list->lpbin[i].lpb, list->lpbin[i].cb);
                bool deleted = entry && entry->kind == EntryKind::Message && database_->DeleteMessage(row_, entry->row);
                partial = partial || !deleted;
            }
            transaction.Commit();
            return partial ? MAPI_W_PARTIAL_COMPLETION : S_OK;
        });
    }

private:
    std::shared_ptr<MessageDatabase> database_;
    std::int64_t row_;
    std::u16string name_;
};

class Store final : public Object<Store, IMsgStore> {
public:
    explicit Store(std::shared_ptr<MessageDatabase> database) : database_(std::move(database)) {}

    HRESULT QueryInterface(const GUID& riid, void** object) override { return Answer(riid, object, {&IID_IMsgStore}); }

    HRESULT OpenEntry(ULONG size, LPENTRYID id, const IID* iid, ULONG, ULONG* type, IUnknown** object) override {
        if (object == nullptr) return MAPI_E_INVALID_PARAMETER;
        *object = nullptr;
        auto entry = ParseEntryId(id, size);
        if (!entry) return MAPI_E_INVALID_ENTRYID;
        return Guard([&] {
            IUnknown* opened = nullptr;
            ULONG openedType = 0;
            if (entry->kind == EntryKind::Folder) {
                auto folder = database_->FindFolder(entry->row);
                if (!folder) return MAPI_E_NOT_FOUND;
                opened = new Folder(database_, folder->id, folder->name);
                openedType = MAPI_FOLDER;
            } else {
                if (!database_->MessageExists(entry->row)) return MAPI_E_NOT_FOUND;
                opened = new Message(database_, entry->row);
                openedType = MAPI_MESSAGE;
            }
            if (iid != nullptr) {
                void* asked = nullptr;
                HRESULT hr = opened->QueryInterface(*iid, &asked);
                opened->Release();
                if (FAILED(hr)) return MAPI_E_INTERFACE_NOT_SUPPORTED;
                opened = static_cast<IUnknown*>(asked);
            }
            if (type != nullptr) *type = openedType;
            *object = opened;
            return S_OK;
        });
    }

private:
    std::shared_ptr<MessageDatabase> database_;
};

}  // namespace

IMsgStore* NewMsgStore(std::shared_ptr<MessageDatabase> database) { return new Store(std::move(database)); }

}  // namespace velmo::device
