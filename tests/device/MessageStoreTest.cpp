#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/Clock.h"
#include "device/Mapi.h"
#include "device/MessageStore.h"
#include "support/TempDevice.h"

using namespace velmo::device;

namespace {

struct Releaser {
    void operator()(IUnknown* object) const {
        if (object != nullptr) object->Release();
    }
};
template <typename T>
using Ref = std::unique_ptr<T, Releaser>;

// A GetProps answer, freed with MAPIFreeBuffer.
struct Props {
    HRESULT result = E_FAIL;
    ULONG count = 0;
    LPSPropValue values = nullptr;
    ~Props() { MAPIFreeBuffer(values); }
    const SPropValue& operator[](ULONG i) const { return values[i]; }
};

const FILETIME kDelivered = Split(0x01DC8A1B2C3D4E5FULL);
// What the handler reads of a message it dismisses.
const SizedSPropTagArray<4> kRecordTags{
    4, {PR_SENDER_EMAIL_ADDRESS_W, PR_SUBJECT_W, PR_MESSAGE_DELIVERY_TIME, PR_SENDER_NAME_W}};

std::vector<Property> SmsProperties(std::u16string sender, std::u16string text, bool withName = true) {
    std::vector<Property> properties{
        Property::Text(PR_SENDER_EMAIL_ADDRESS_W, std::move(sender)), Property::Text(PR_SUBJECT_W, std::move(text)),
        Property::Time(PR_MESSAGE_DELIVERY_TIME, kDelivered), Property::Number(PR_MESSAGE_FLAGS, 0),
        Property::Text(PR_MESSAGE_CLASS_W, u"IPM.SMStext")};
    if (withName) properties.push_back(Property::Text(PR_SENDER_NAME_W, u"Anna Berg"));
    return properties;
}

class MessageStoreTest : public ::testing::Test {
protected:
    IMsgStore* Msgs() { return store_->Interface(); }

    EntryId NewSms(bool withName = true) {
        return store_->CreateMessage(u"Inbox", SmsProperties(u"+4915112345678", u"Hello there", withName));
    }

    template <typename T>
    Ref<T> Open(const EntryId& id, ULONG expectedType) {
        ULONG type = 0;
        IUnknown* object = nullptr;
        HRESULT hr = Msgs()->OpenEntry(static_cast<ULONG>(id.size()),
                                       reinterpret_cast<LPENTRYID>(const_cast<std::uint8_t*>(id.data())), nullptr, 0,
                                       &type, &object);
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(type, expectedType);
        return Ref<T>(static_cast<T*>(object));
    }
    Ref<IMessage> OpenMessage(const EntryId& id) { return Open<IMessage>(id, MAPI_MESSAGE); }
    Ref<IMAPIFolder> OpenFolder(const EntryId& id) { return Open<IMAPIFolder>(id, MAPI_FOLDER); }

    template <ULONG N>
    static void Get(IMAPIProp* object, SizedSPropTagArray<N> tags, Props& props, ULONG flags = MAPI_UNICODE) {
        props.result = object->GetProps(tags, flags, &props.count, &props.values);
    }

    static HRESULT Delete(IMAPIFolder* folder, const EntryId& id) {
        SBinary entry{static_cast<ULONG>(id.size()), const_cast<std::uint8_t*>(id.data())};
        ENTRYLIST list{1, &entry};
        return folder->DeleteMessages(&list, 0, nullptr, 0);
    }

    velmo::test::TempDevice device_;
    std::unique_ptr<MessageStore> store_ = std::make_unique<MessageStore>();
};

// ---- OpenEntry

struct EntryRow {
    const char* name;
    std::function<void(EntryId&)> damage;
    HRESULT expected;
};

class OpenEntryTest : public MessageStoreTest, public ::testing::WithParamInterface<EntryRow> {};

TEST_P(OpenEntryTest, AnswersForEachKindOfIdentifier) {
    EntryId id = NewSms();
    GetParam().damage(id);
    IUnknown* object = reinterpret_cast<IUnknown*>(0x1);
    ULONG type = 0;
    HRESULT hr = Msgs()->OpenEntry(static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(id.data()), nullptr, 0,
                                   &type, &object);
    EXPECT_EQ(hr, GetParam().expected);
    if (hr == S_OK) {
        ASSERT_NE(object, nullptr);
        object->Release();
    } else {
        EXPECT_EQ(object, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OpenEntryTest,
    ::testing::Values(EntryRow{"TheMessagesOwn", [](EntryId&) {}, S_OK},
                      EntryRow{"Empty", [](EntryId& id) { id.clear(); }, MAPI_E_INVALID_ENTRYID},
                      EntryRow{"CutShort", [](EntryId& id) { id.pop_back(); }, MAPI_E_INVALID_ENTRYID},
                      EntryRow{"OneByteTooMany", [](EntryId& id) { id.push_back(0); }, MAPI_E_INVALID_ENTRYID},
                      EntryRow{"FlagsSet", [](EntryId& id) { id[0] = 1; }, MAPI_E_INVALID_ENTRYID},
                      EntryRow{"AnotherStoresTag", [](EntryId& id) { id[5] ^= 0xFF; }, MAPI_E_INVALID_ENTRYID},
                      EntryRow{"UnknownKind", [](EntryId& id) { id[8] = 9; }, MAPI_E_INVALID_ENTRYID},
                      EntryRow{"RowZero", [](EntryId& id) { std::fill(id.end() - 8, id.end(), 0); },
                               MAPI_E_INVALID_ENTRYID},
                      EntryRow{"AMessageNeverStored", [](EntryId& id) { id[9] = 77; }, MAPI_E_NOT_FOUND},
                      EntryRow{"AFolderNeverMade",
                               [](EntryId& id) {
                                   id[8] = 1;
                                   id[9] = 77;
                               },
                               MAPI_E_NOT_FOUND}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MessageStoreTest, OpenEntryAnswersTheInterfacesOfTheKindOfObject) {
    Ref<IMAPIFolder> folder = OpenFolder(store_->InboxEntryId());
    void* asked = nullptr;
    ASSERT_EQ(folder->QueryInterface(IID_IMAPIFolder, &asked), S_OK);
    static_cast<IUnknown*>(asked)->Release();

    EntryId id = NewSms();
    IUnknown* object = nullptr;
    EXPECT_EQ(Msgs()->OpenEntry(static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(id.data()), &IID_IMAPIFolder,
                                0, nullptr, &object),
              MAPI_E_INTERFACE_NOT_SUPPORTED);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(Msgs()->OpenEntry(static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(id.data()), &IID_IMessage, 0,
                                nullptr, &object),
              S_OK);
    Ref<IMessage> message(static_cast<IMessage*>(object));
    EXPECT_EQ(message->QueryInterface(IID_IMAPIFolder, &asked), E_NOINTERFACE);
    EXPECT_EQ(asked, nullptr);
    ASSERT_EQ(message->QueryInterface(IID_IMAPIProp, &asked), S_OK);
    static_cast<IUnknown*>(asked)->Release();
}

// ---- GetProps

TEST_F(MessageStoreTest, GetPropsWithEveryTagPresentAnswersSOkInTheAskedOrder) {
    Ref<IMessage> message = OpenMessage(NewSms());
    Props props;
    Get(message.get(), kRecordTags, props);
    ASSERT_EQ(props.result, S_OK);
    ASSERT_EQ(props.count, 4u);
    EXPECT_EQ(props[0].ulPropTag, PR_SENDER_EMAIL_ADDRESS_W);
    EXPECT_EQ(std::u16string(props[0].Value.lpszW), u"+4915112345678");
    EXPECT_EQ(std::u16string(props[1].Value.lpszW), u"Hello there");
    EXPECT_EQ(props[2].ulPropTag, PR_MESSAGE_DELIVERY_TIME);
    EXPECT_EQ(Join(props[2].Value.ft), Join(kDelivered));
    EXPECT_EQ(std::u16string(props[3].Value.lpszW), u"Anna Berg");
}

TEST_F(MessageStoreTest, AMissingPropertyComesBackAsNotFoundWithAWarning) {
    Ref<IMessage> message = OpenMessage(NewSms(/*withName=*/false));
    Props props;
    Get(message.get(), kRecordTags, props);
    ASSERT_EQ(props.result, MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(props.count, 4u);
    EXPECT_EQ(props[0].ulPropTag, PR_SENDER_EMAIL_ADDRESS_W);
    EXPECT_EQ(props[3].ulPropTag, PROP_TAG(PT_ERROR, PROP_ID(PR_SENDER_NAME_W)));
    EXPECT_EQ(props[3].Value.err, MAPI_E_NOT_FOUND);
}

struct TypeRow {
    const char* name;
    ULONG tag;
    ULONG flags;
    ULONG answeredTag;
};

class GetPropsTypeTest : public MessageStoreTest, public ::testing::WithParamInterface<TypeRow> {};

TEST_P(GetPropsTypeTest, AnswersInTheAskedType) {
    EntryId id = store_->CreateMessage(u"Inbox", SmsProperties(u"+4915112345678", u"Grüße", true));
    Ref<IMessage> message = OpenMessage(id);
    Props props;
    Get(message.get(), SizedSPropTagArray<1>{1, {GetParam().tag}}, props, GetParam().flags);
    ASSERT_EQ(props.count, 1u);
    EXPECT_EQ(props[0].ulPropTag, GetParam().answeredTag);
    switch (PROP_TYPE(GetParam().answeredTag)) {
        case PT_UNICODE: EXPECT_EQ(std::u16string(props[0].Value.lpszW), u"Grüße"); break;
        case PT_STRING8: EXPECT_STREQ(props[0].Value.lpszA, "Grüße"); break;
        case PT_LONG: EXPECT_EQ(props[0].Value.l, 0); break;
        case PT_ERROR:
            EXPECT_EQ(props[0].Value.err, MAPI_E_NOT_FOUND);
            EXPECT_EQ(props.result, MAPI_W_ERRORS_RETURNED);
            break;
    }
}

constexpr ULONG kSubjectId = 0x0037;
constexpr ULONG kFlagsId = 0x0E07;

INSTANTIATE_TEST_SUITE_P(
    Rows, GetPropsTypeTest,
    ::testing::Values(
        TypeRow{"UnicodeAsked", PR_SUBJECT_W, MAPI_UNICODE, PR_SUBJECT_W},
        TypeRow{"EightBitAskedGivesUtf8", PROP_TAG(PT_STRING8, kSubjectId), MAPI_UNICODE,
                PROP_TAG(PT_STRING8, kSubjectId)},
        TypeRow{"UnspecifiedWithUnicodeFlag", PROP_TAG(PT_UNSPECIFIED, kSubjectId), MAPI_UNICODE, PR_SUBJECT_W},
        TypeRow{"UnspecifiedWithoutFlag", PROP_TAG(PT_UNSPECIFIED, kSubjectId), 0, PROP_TAG(PT_STRING8, kSubjectId)},
        TypeRow{"UnspecifiedNumber", PROP_TAG(PT_UNSPECIFIED, kFlagsId), MAPI_UNICODE, PR_MESSAGE_FLAGS},
        TypeRow{"TextAskedAsNumber", PROP_TAG(PT_LONG, kSubjectId), MAPI_UNICODE, PROP_TAG(PT_ERROR, kSubjectId)},
        TypeRow{"NumberAskedAsText", PROP_TAG(PT_UNICODE, kFlagsId), MAPI_UNICODE, PROP_TAG(PT_ERROR, kFlagsId)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MessageStoreTest, TextComesBackUnitForUnit) {
    // A surrogate pair, a lone surrogate of each half and an embedded-looking control unit.
    std::u16string text = u"a\U0001F600b";
    text += char16_t(0xD800);
    text += u"c";
    text += char16_t(0xDC00);
    text += char16_t(0x0001);
    EntryId id = store_->CreateMessage(u"Inbox", SmsProperties(u"+1", text));
    Ref<IMessage> message = OpenMessage(id);
    Props props;
    Get(message.get(), SizedSPropTagArray<1>{1, {PR_SUBJECT_W}}, props);
    ASSERT_EQ(props.result, S_OK);
    EXPECT_EQ(std::u16string(props[0].Value.lpszW), text);
}

TEST_F(MessageStoreTest, NullTagsAnswerEveryStoredProperty) {
    Ref<IMessage> message = OpenMessage(NewSms());
    Props props;
    props.result = message->GetProps(nullptr, MAPI_UNICODE, &props.count, &props.values);
    ASSERT_EQ(props.result, S_OK);
    EXPECT_EQ(props.count, SmsProperties(u"", u"").size() + 1);  // and the entry identifier
}

// ---- SetProps, CreateMessage

TEST_F(MessageStoreTest, SetPropsStoresAtOnceAndReportsWhatItCouldNot) {
    Ref<IMAPIFolder> inbox = OpenFolder(store_->InboxEntryId());
    IMessage* created = nullptr;
    ASSERT_EQ(inbox->CreateMessage(nullptr, 0, &created), S_OK);
    Ref<IMessage> message(created);

    std::u16string subject = u"Copied";
    SPropValue values[5]{};
    values[0].ulPropTag = PR_SUBJECT_W;
    values[0].Value.lpszW = subject.data();
    values[1].ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(PR_SENDER_NAME_W));  // as GetProps gives a missing one
    values[1].Value.err = MAPI_E_NOT_FOUND;
    values[2].ulPropTag = PR_ENTRYID;
    values[3].ulPropTag = PROP_TAG(0x1003, 0x6601);  // a multi-valued type the store does not keep
    values[4].ulPropTag = PR_MESSAGE_FLAGS;
    values[4].Value.l = MSGFLAG_READ;
    LPSPropProblemArray problems = nullptr;
    ASSERT_EQ(message->SetProps(5, values, &problems), S_OK);
    ASSERT_NE(problems, nullptr);
    ASSERT_EQ(problems->cProblem, 2u);
    const SPropProblem* problem = problems->aProblem;
    EXPECT_EQ(problem[0].ulIndex, 2u);
    EXPECT_EQ(problem[0].scode, MAPI_E_COMPUTED);
    EXPECT_EQ(problem[1].ulIndex, 3u);
    EXPECT_EQ(problem[1].scode, MAPI_E_INVALID_TYPE);
    MAPIFreeBuffer(problems);

    // Read back through a second connection: the values are in messages.db, with no save step.
    MessageStore other;
    auto listed = other.ListFolder(u"Inbox");
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(*listed[0].Find(PR_SUBJECT_W)->AsText(), u"Copied");
    EXPECT_EQ(*listed[0].Find(PR_MESSAGE_FLAGS)->AsNumber(), MSGFLAG_READ);
    EXPECT_EQ(listed[0].Find(PR_SENDER_NAME_W), nullptr);

    // A second SetProps replaces the value.
    values[4].Value.l = 0;
    ASSERT_EQ(message->SetProps(1, &values[4], nullptr), S_OK);
    Props props;
    Get(message.get(), SizedSPropTagArray<2>{2, {PR_MESSAGE_FLAGS, PR_ENTRYID}}, props);
    ASSERT_EQ(props.result, S_OK);
    EXPECT_EQ(props[0].Value.l, 0);
    EXPECT_EQ(EntryId(props[1].Value.bin.lpb, props[1].Value.bin.lpb + props[1].Value.bin.cb), listed[0].entryId);
}

// The handler's silent accept: a copy made from a GetProps answer with gaps, marked read,
// in place of the incoming message.
TEST_F(MessageStoreTest, ACopyFromAGetPropsAnswerTakesTheMessagesPlace) {
    EntryId incoming = NewSms(false);
    Ref<IMessage> message = OpenMessage(incoming);
    Ref<IMAPIFolder> inbox = OpenFolder(store_->InboxEntryId());
    IMessage* created = nullptr;
    ASSERT_EQ(inbox->CreateMessage(nullptr, 0, &created), S_OK);
    Ref<IMessage> copy(created);

    Props read;
    Get(message.get(),
        SizedSPropTagArray<9>{
            9,
            {PR_LAST_MODIFICATION_TIME, PR_MESSAGE_CLASS_W, PR_MESSAGE_FLAGS, PR_MESSAGE_SIZE, PR_RECIPIENT_TYPE,
             PR_SENDER_EMAIL_ADDRESS_W, PR_MESSAGE_DELIVERY_TIME, PR_SUBJECT_W, PR_ADDRTYPE_W}},
        read);
    EXPECT_EQ(read.result, MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(copy->SetProps(read.count, read.values, nullptr), S_OK);
    Props flags;
    Get(copy.get(), SizedSPropTagArray<1>{1, {PR_MESSAGE_FLAGS}}, flags);
    ASSERT_EQ(flags.result, S_OK);
    flags.values[0].Value.l |= MSGFLAG_READ;
    ASSERT_EQ(copy->SetProps(1, flags.values, nullptr), S_OK);
    copy.reset();
    EXPECT_EQ(Delete(inbox.get(), incoming), S_OK);

    auto listed = store_->ListFolder(u"Inbox");
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_NE(listed[0].entryId, incoming);
    EXPECT_EQ(*listed[0].Find(PR_MESSAGE_FLAGS)->AsNumber(), MSGFLAG_READ);
    EXPECT_EQ(*listed[0].Find(PR_SUBJECT_W)->AsText(), u"Hello there");
    EXPECT_EQ(*listed[0].Find(PR_SENDER_EMAIL_ADDRESS_W)->AsText(), u"+4915112345678");
    EXPECT_EQ(static_cast<std::uint64_t>(*listed[0].Find(PR_MESSAGE_DELIVERY_TIME)->AsNumber()), Join(kDelivered));
    EXPECT_EQ(listed[0].Find(PR_MESSAGE_SIZE), nullptr);
}

TEST_F(MessageStoreTest, CreateMessageMakesAMessageThatAppearsWithItsProperties) {
    Ref<IMAPIFolder> sent = OpenFolder(store_->FolderEntryId(u"Sent"));
    IMessage* created = nullptr;
    EXPECT_EQ(sent->CreateMessage(&IID_IMAPIFolder, 0, &created), MAPI_E_INTERFACE_NOT_SUPPORTED);
    EXPECT_EQ(created, nullptr);
    ASSERT_EQ(sent->CreateMessage(nullptr, 0, &created), S_OK);
    Ref<IMessage> message(created);
    Props props;
    Get(message.get(), SizedSPropTagArray<2>{2, {PR_SUBJECT_W, PR_MESSAGE_FLAGS}}, props);
    EXPECT_EQ(props.result, MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(props[0].ulPropTag, PROP_TAG(PT_ERROR, kSubjectId));
    EXPECT_EQ(props[1].ulPropTag, PROP_TAG(PT_ERROR, kFlagsId));
    // Until its writer stores a property, no reader of the folder takes it for a message.
    EXPECT_EQ(store_->Count(u"Sent"), 0u);
    EXPECT_EQ(store_->CountUnread(u"Sent"), 0u);
    EXPECT_TRUE(store_->ListFolder(u"Sent").empty());
    EXPECT_EQ(store_->ListFolderWithUnwritten(u"Sent").size(), 1u);
    SPropValue subject{};
    subject.ulPropTag = PR_SUBJECT_W;
    subject.Value.lpszW = const_cast<WCHAR*>(u"Hello there");
    ASSERT_EQ(message->SetProps(1, &subject, nullptr), S_OK);
    EXPECT_EQ(store_->Count(u"Sent"), 1u);
    ASSERT_EQ(store_->ListFolder(u"Sent").size(), 1u);
    EXPECT_EQ(*store_->ListFolder(u"Sent")[0].Find(PR_SUBJECT_W)->AsText(), u"Hello there");
    EXPECT_EQ(store_->Count(u"Inbox"), 0u);
}

TEST_F(MessageStoreTest, AFoldersPropertiesAreItsOwnAndFixed) {
    Ref<IMAPIFolder> inbox = OpenFolder(store_->InboxEntryId());
    Props props;
    Get(inbox.get(), SizedSPropTagArray<2>{2, {PR_DISPLAY_NAME_W, PR_SUBJECT_W}}, props);
    EXPECT_EQ(props.result, MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(std::u16string(props[0].Value.lpszW), u"Inbox");
    SPropValue name{};
    name.ulPropTag = PR_DISPLAY_NAME_W;
    name.Value.lpszW = const_cast<WCHAR*>(u"Other");
    EXPECT_EQ(inbox->SetProps(1, &name, nullptr), MAPI_E_NO_SUPPORT);
}

// ---- DeleteMessages

TEST_F(MessageStoreTest, DeleteMessagesRemovesTheMessageAndItsProperties) {
    EntryId kept = NewSms();
    EntryId gone = NewSms();
    Ref<IMAPIFolder> inbox = OpenFolder(store_->InboxEntryId());
    EXPECT_EQ(Delete(inbox.get(), gone), S_OK);
    EXPECT_EQ(store_->Count(u"Inbox"), 1u);
    EXPECT_EQ(store_->ListFolder(u"Inbox")[0].entryId, kept);
    IUnknown* object = nullptr;
    EXPECT_EQ(Msgs()->OpenEntry(static_cast<ULONG>(gone.size()), reinterpret_cast<LPENTRYID>(gone.data()), nullptr, 0,
                                nullptr, &object),
              MAPI_E_NOT_FOUND);

    // No property rows outlive their message.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((device_.Root() / "messages.db").c_str(), &db), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(DISTINCT message) FROM properties", -1, &stmt, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(stmt, 0), 1);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

TEST_F(MessageStoreTest, DeletingWhatIsNotInTheFolderIsAPartialCompletion) {
    EntryId message = NewSms();
    Ref<IMAPIFolder> inbox = OpenFolder(store_->InboxEntryId());
    Ref<IMAPIFolder> sent = OpenFolder(store_->FolderEntryId(u"Sent"));
    EXPECT_EQ(Delete(sent.get(), message), MAPI_W_PARTIAL_COMPLETION);
    EXPECT_EQ(store_->Count(u"Inbox"), 1u);
    EXPECT_EQ(Delete(inbox.get(), store_->InboxEntryId()), MAPI_W_PARTIAL_COMPLETION);
    EXPECT_EQ(Delete(inbox.get(), EntryId{1, 2, 3}), MAPI_W_PARTIAL_COMPLETION);
    EXPECT_EQ(Delete(inbox.get(), message), S_OK);
    EXPECT_EQ(Delete(inbox.get(), message), MAPI_W_PARTIAL_COMPLETION);
    EXPECT_EQ(store_->Count(u"Inbox"), 0u);
}

TEST_F(MessageStoreTest, ADeletedMessagesIdentifierNeverNamesALaterMessage) {
    EntryId first = NewSms();
    Ref<IMAPIFolder> inbox = OpenFolder(store_->InboxEntryId());
    ASSERT_EQ(Delete(inbox.get(), first), S_OK);
    store_.reset();
    store_ = std::make_unique<MessageStore>();
    EXPECT_NE(NewSms(), first);
}

// ---- Memory and lifetime

TEST(MapiBuffer, MoreBlocksAreFreedWithTheirRoot) {
    void* root = nullptr;
    ASSERT_EQ(MAPIAllocateBuffer(24, &root), S_OK);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(root) % alignof(std::max_align_t), 0u);
    void* more[3] = {};
    for (auto& block : more) {
        ASSERT_EQ(MAPIAllocateMore(100, root, &block), S_OK);
        std::memset(block, 0x5A, 100);
    }
    void* inner = nullptr;
    EXPECT_EQ(MAPIAllocateMore(8, more[0], &inner), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(MAPIFreeBuffer(more[1]), static_cast<ULONG>(MAPI_E_INVALID_PARAMETER));
    // LeakSanitizer fails the run if any of the "more" blocks outlives this.
    EXPECT_EQ(MAPIFreeBuffer(root), static_cast<ULONG>(S_OK));
    EXPECT_EQ(MAPIFreeBuffer(nullptr), static_cast<ULONG>(S_OK));
}

TEST_F(MessageStoreTest, OpenObjectsOutliveTheStoreThatGaveThem) {
    EntryId id = NewSms();
    Ref<IMessage> message = OpenMessage(id);
    Ref<IMAPIFolder> inbox = OpenFolder(store_->InboxEntryId());
    store_.reset();
    Props props;
    Get(message.get(), SizedSPropTagArray<1>{1, {PR_SUBJECT_W}}, props);
    EXPECT_EQ(props.result, S_OK);
    EXPECT_EQ(Delete(inbox.get(), id), S_OK);
}

// ---- The plain interface

TEST_F(MessageStoreTest, MessagesPersistAcrossConnections) {
    EntryId first = NewSms();
    EntryId second = store_->CreateMessage(u"inbox", SmsProperties(u"+2", u"Second"));
    store_.reset();
    MessageStore reopened;
    auto listed = reopened.ListFolder(u"Inbox");
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].entryId, first);
    EXPECT_EQ(listed[1].entryId, second);
    EXPECT_EQ(*listed[1].Find(PR_SUBJECT_W)->AsText(), u"Second");
    EXPECT_EQ(listed[1].properties.size(), SmsProperties(u"", u"").size());
    EXPECT_EQ(reopened.FolderNames(), (std::vector<std::u16string>{u"Inbox", u"Outbox", u"Sent"}));
}

TEST_F(MessageStoreTest, AValueOfTheWrongFormStoresNothing) {
    std::vector<Property> properties = SmsProperties(u"+1", u"text");
    properties.push_back(Property::Text(PR_MESSAGE_SIZE, u"not a number"));
    EXPECT_THROW(store_->CreateMessage(u"Inbox", properties), std::invalid_argument);
    EXPECT_EQ(store_->Count(u"Inbox"), 0u);
    EXPECT_THROW(store_->CreateMessage(u"Nowhere", {}), std::invalid_argument);
    EXPECT_THROW(store_->FolderEntryId(u"Nowhere"), std::invalid_argument);
}

}  // namespace
