// The analysis queue: what the laboratory system's files give, what the
// working copy keeps through crashes, and how entries move through a
// recording's start and end.

#include "instruments/analysis_queue.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "app/settings_store.h"
#include "app/text.h"
#include "document/message_sink.h"
#include "document/passport.h"
#include "instruments/demo_adc.h"
#include "instruments/queue_recording_link.h"
#include "tests/support/temp_dir.h"

using namespace zelmora;
using zelmora::test::TempDir;

namespace {

std::string entryXml(int n, int id, int status = 0, const std::string& info = "проба") {
    return text::format(
        "<analyse n=\"%d\"><comments dt:dt=\"string\">к%d</comments>"
        "<info dt:dt=\"string\">%s</info><organization dt:dt=\"string\">Цех</organization>"
        "<type dt:dt=\"string\">А</type><id dt:dt=\"i4\">%d</id><vial dt:dt=\"i4\">%d</vial>"
        "<status dt:dt=\"i4\">%d</status><MSt dt:dt=\"r8\">0.5</MSt>"
        "<MProbe dt:dt=\"r8\">1.25</MProbe></analyse>",
        n, n, info.c_str(), id, n, status);
}

std::string queueXml(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Document "
           "xmlns:dt=\"urn:schemas-microsoft-com:datatypes\">" +
           body + "</Document>";
}

std::string queueOf(const std::vector<int>& statuses) {
    std::string body;
    for (std::size_t i = 0; i < statuses.size(); ++i)
        body += entryXml(int(i) + 1, 100 + int(i), statuses[i]);
    return queueXml(body);
}

std::vector<int> statusesOf(const AnalysisQueue& q) {
    std::vector<int> s;
    for (const QueueEntry& e : q.entries())
        s.push_back(e.status);
    return s;
}

std::vector<int> idsOf(const AnalysisQueue& q) {
    std::vector<int> s;
    for (const QueueEntry& e : q.entries())
        s.push_back(e.id);
    return s;
}

}  // namespace

TEST(QueueFile, ReadsWhatLaboratorySystemsWrite) {
    // Namespace declarations on entries, prefixed element names, no
    // data-type attributes, a decimal comma, missing masses.
    const std::string xml =
        "<?xml version=\"1.0\"?>\n<Document>"
        "<analyse n=\"1\" xmlns:q=\"urn:x\"><q:comments>первая</q:comments><info>Бензин</info>"
        "<organization>Цех 3</organization><type>Б</type><id> 41 </id><vial>7</vial>"
        "<status>0</status><MSt>0,5</MSt></analyse></Document>";
    Result<QueueFileContent> r = readQueueXml(xml);
    ASSERT_TRUE(r) << r.message();
    ASSERT_EQ(r.value().entries.size(), 1u);
    const QueueEntry& e = r.value().entries[0];
    EXPECT_EQ(e.comments, "первая");
    EXPECT_EQ(e.info, "Бензин");
    EXPECT_EQ(e.organization, "Цех 3");
    EXPECT_EQ(e.type, "Б");
    EXPECT_EQ(e.id, 41);
    EXPECT_EQ(e.vial, 7);
    EXPECT_DOUBLE_EQ(e.standardMass, 0.5);
    EXPECT_DOUBLE_EQ(e.sampleMass, 0);
    EXPECT_TRUE(r.value().warnings.empty());
    EXPECT_EQ(queueSampleText(e), "Виала № 7 Бензин # 41");
}

TEST(QueueFile, ReadsTheCyrillicCodePageItDeclares) {
    const std::string utf8 = "<?xml version=\"1.0\" encoding=\"windows-1251\"?><Document>" +
                             entryXml(1, 5, 0, "Дизельное топливо") + "</Document>";
    Result<QueueFileContent> r = readQueueXml(text::toCp1251(utf8));
    ASSERT_TRUE(r) << r.message();
    ASSERT_EQ(r.value().entries.size(), 1u);
    EXPECT_EQ(r.value().entries[0].info, "Дизельное топливо");
    EXPECT_EQ(r.value().entries[0].organization, "Цех");
}

TEST(QueueFile, ReportsEntriesItDoesNotTake) {
    Result<QueueFileContent> gap =
        readQueueXml(queueXml(entryXml(1, 1) + entryXml(2, 2) + entryXml(4, 4)));
    ASSERT_TRUE(gap);
    EXPECT_EQ(gap.value().entries.size(), 2u);
    ASSERT_EQ(gap.value().warnings.size(), 1u);
    EXPECT_NE(gap.value().warnings[0].find("записей: 2 из 3"), std::string::npos);
    EXPECT_NE(gap.value().warnings[0].find("№ 3"), std::string::npos);

    std::string body;
    for (int n = 1; n <= 1200; ++n)
        body += entryXml(n, n);
    Result<QueueFileContent> many = readQueueXml(queueXml(body));
    ASSERT_TRUE(many);
    EXPECT_EQ(many.value().entries.size(), 999u);
    EXPECT_EQ(many.value().entries.back().id, 999);
    ASSERT_EQ(many.value().warnings.size(), 1u);
    EXPECT_NE(many.value().warnings[0].find("записей: 999 из 1200"), std::string::npos);
}

TEST(QueueFile, RefusesWhatIsNotAQueueWithAMessage) {
    struct Case {
        std::string xml;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"это не XML", "не XML"},
        {"<?xml version=\"1.0\"?><Queue/>", "корневой элемент «Queue»"},
        {queueXml("<analyse n=\"1\"><comments/><vial>1</vial><status>0</status></analyse>"),
         "запись 1: нет элемента «id»"},
        {queueXml("<analyse n=\"1\"><comments/><id>1</id><vial>один</vial><status>0</status>"
                  "</analyse>"),
         "«vial» не целое число «один»"},
        {queueXml(entryXml(1, 1, 7)), "состояние 7"},
        {queueXml("<analyse n=\"1\"><comments/><id>1</id><vial>1</vial><status>0</status>"
                  "<MSt>много</MSt></analyse>"),
         "«MSt» не число"},
    };
    for (const Case& c : cases) {
        Result<QueueFileContent> r = readQueueXml(c.xml);
        ASSERT_FALSE(r) << c.xml;
        EXPECT_NE(r.message().find(c.expected), std::string::npos) << r.message();
    }
}

TEST(QueueFile, WritesTheLayoutTheLaboratorySystemReads) {
    QueueEntry e;
    e.id = 12;
    e.vial = 3;
    e.info = "масло & вода <1>";
    e.standardMass = 0.1;
    e.sampleMass = 2.5e-7;
    e.status = kQueueProcessed;
    const std::string xml = writeQueueXml({e, e});
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml.c_str()));
    const pugi::xml_node root = doc.document_element();
    EXPECT_STREQ(root.name(), "Document");
    EXPECT_STREQ(root.attribute("xmlns:dt").value(), "urn:schemas-microsoft-com:datatypes");
    int n = 0;
    for (pugi::xml_node a : root.children("analyse")) {
        EXPECT_EQ(a.attribute("n").as_int(), ++n);
        std::vector<std::pair<std::string, std::string>> fields;
        for (pugi::xml_node f : a.children())
            fields.emplace_back(f.name(), f.attribute("dt:dt").value());
        const std::vector<std::pair<std::string, std::string>> expected = {
            {"comments", "string"}, {"info", "string"}, {"organization", "string"},
            {"type", "string"},     {"id", "i4"},       {"vial", "i4"},
            {"status", "i4"},       {"MSt", "r8"},      {"MProbe", "r8"}};
        EXPECT_EQ(fields, expected);
    }
    EXPECT_EQ(n, 2);

    Result<QueueFileContent> back = readQueueXml(xml);
    ASSERT_TRUE(back);
    ASSERT_EQ(back.value().entries.size(), 2u);
    EXPECT_EQ(back.value().entries[0], e);
}

TEST(QueueFile, CaptionsTheFilesByTheirDate) {
    EXPECT_EQ(queueFileCaption("aq-20261209.xml", "09.12.2026"), "Очередь за сегодня");
    EXPECT_EQ(queueFileCaption("aq-20261130.xml", "09.12.2026"), "Очередь от 30.11.2026");
    // Short or odd names never read past their end.
    EXPECT_EQ(queueFileCaption("aq-.xml", "09.12.2026"), "aq-.xml");
    EXPECT_EQ(queueFileCaption("aq-2026.xml", "09.12.2026"), "aq-2026.xml");
    EXPECT_EQ(queueFileCaption("aq-2026abcd.xml", "09.12.2026"), "aq-2026abcd.xml");

    TempDir dir;
    for (const char* name :
         {"aq-20261209.xml", "aq-20261130.XML", "bq-20261209.xml", "aq-20261201.txt"})
        test::writeFile(dir / name, "x");
    const std::vector<std::filesystem::path> files = listQueueFiles(dir.path());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].filename(), "aq-20261130.XML");
    EXPECT_EQ(files[1].filename(), "aq-20261209.xml");
}

TEST(AnalysisQueue, LoadsSortsAndKeepsItsWorkingCopy) {
    TempDir dir;
    test::writeFile(dir / "aq-20261209.xml", queueOf({2, 0, 2, 1}));
    AnalysisQueue q(dir / "work" / "queue.xml");
    ASSERT_TRUE(q.load(dir / "aq-20261209.xml").ok());
    EXPECT_EQ(statusesOf(q), (std::vector<int>{2, 2, 0, 1}));
    EXPECT_EQ(idsOf(q), (std::vector<int>{100, 102, 101, 103}));
    EXPECT_EQ(q.firstNew(), 2);
    EXPECT_EQ(q.firstInWork(), 3);
    EXPECT_EQ(q.indexOfId(102), 1);
    EXPECT_EQ(q.indexOfId(999), -1);

    // The next program run finds the same queue, but the entry that was in
    // work when the program stopped comes back as new: its recording never
    // completed.
    AnalysisQueue next(q.workingCopy());
    int interrupted = -1;
    ASSERT_TRUE(next.loadWorkingCopy(&interrupted).ok());
    EXPECT_EQ(interrupted, 1);
    EXPECT_EQ(statusesOf(next), (std::vector<int>{2, 2, 0, 0}));
    EXPECT_EQ(idsOf(next), idsOf(q));
    // ... and says so in the working copy too.
    AnalysisQueue third(q.workingCopy());
    ASSERT_TRUE(third.loadWorkingCopy(&interrupted).ok());
    EXPECT_EQ(interrupted, 0);
    EXPECT_EQ(third.entries(), next.entries());

    // A missing working copy is an empty queue, not a failure.
    AnalysisQueue fresh(dir / "nowhere" / "queue.xml");
    EXPECT_TRUE(fresh.loadWorkingCopy().ok());
    EXPECT_EQ(fresh.size(), 0u);
}

TEST(AnalysisQueue, ABadFileLeavesTheQueueAndItsWorkingCopyAlone) {
    TempDir dir;
    test::writeFile(dir / "good.xml", queueOf({0, 0}));
    test::writeFile(dir / "bad.xml", queueXml(entryXml(1, 1) + "<analyse n=\"2\"><comments/>"));
    AnalysisQueue q(dir / "queue.xml");
    ASSERT_TRUE(q.load(dir / "good.xml").ok());
    const std::string before = test::readFile(q.workingCopy());

    const Status s = q.load(dir / "bad.xml");
    ASSERT_FALSE(s.ok());
    EXPECT_NE(s.message().find("Ошибка загрузки очереди!"), std::string::npos);
    EXPECT_NE(s.message().find("bad.xml"), std::string::npos);
    EXPECT_EQ(q.size(), 2u);
    EXPECT_EQ(test::readFile(q.workingCopy()), before);
    EXPECT_FALSE(q.load(dir / "absent.xml").ok());
    EXPECT_EQ(q.size(), 2u);
}

TEST(AnalysisQueue, PutsADamagedWorkingCopyAsideAndSaysWhere) {
    TempDir dir;
    test::writeFile(dir / "queue.xml", "<Document><analyse n=\"1\">");
    AnalysisQueue q(dir / "queue.xml");
    const Status s = q.loadWorkingCopy();
    ASSERT_FALSE(s.ok());
    EXPECT_NE(s.message().find("повреждена"), std::string::npos);
    EXPECT_NE(s.message().find("queue.xml.damaged-"), std::string::npos);
    EXPECT_EQ(q.size(), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir / "queue.xml"));
    int aside = 0;
    for (const auto& f : std::filesystem::directory_iterator(dir.path())) {
        ASSERT_EQ(f.path().filename().string().rfind("queue.xml.damaged-", 0), 0u);
        EXPECT_EQ(test::readFile(f.path()), "<Document><analyse n=\"1\">");
        ++aside;
    }
    EXPECT_EQ(aside, 1);
}

TEST(AnalysisQueue, MovesEverySelectedNewEntryAndRefusesTheRest) {
    TempDir dir;
    test::writeFile(dir / "q.xml", queueOf({2, 0, 0, 0, 0}));
    AnalysisQueue q(dir / "queue.xml");
    ASSERT_TRUE(q.load(dir / "q.xml").ok());

    // Nothing selected, the first or the last row: nothing moves.
    EXPECT_FALSE(q.moveSelectedUp().value());
    q.setSelected(4, true);
    EXPECT_FALSE(q.moveSelectedDown().value());
    q.clearSelection();
    // A new entry does not pass a processed one.
    q.setSelected(1, true);
    EXPECT_FALSE(q.moveSelectedUp().value());
    q.clearSelection();

    // Two separate selected entries both move, the marks with them.
    q.setSelected(2, true);
    q.setSelected(4, true);
    ASSERT_TRUE(q.moveSelectedUp().value());
    EXPECT_EQ(idsOf(q), (std::vector<int>{100, 102, 101, 104, 103}));
    ASSERT_TRUE(q.moveSelectedDown().value());
    EXPECT_EQ(idsOf(q), (std::vector<int>{100, 101, 102, 103, 104}));
    EXPECT_TRUE(q.entries()[2].selected);
    EXPECT_TRUE(q.entries()[4].selected);
    q.clearSelection();
    // A block of neighbours moves as one.
    q.setSelected(3, true);
    q.setSelected(4, true);
    ASSERT_TRUE(q.moveSelectedUp().value());
    EXPECT_EQ(idsOf(q), (std::vector<int>{100, 101, 103, 104, 102}));
    // The working copy follows every move.
    AnalysisQueue reread(q.workingCopy());
    ASSERT_TRUE(reread.loadWorkingCopy().ok());
    EXPECT_EQ(idsOf(reread), idsOf(q));

    // An entry in work stays where it is.
    q.clearSelection();
    ASSERT_TRUE(q.takeNext().ok());  // 101 goes into work
    q.setSelected(2, true);
    EXPECT_FALSE(q.moveSelectedUp().value());
}

TEST(AnalysisQueue, FollowsRecordingsAndRunsProcessedEntriesAgain) {
    TempDir dir;
    test::writeFile(dir / "q.xml", queueOf({0, 0}));
    AnalysisQueue q(dir / "queue.xml");
    ASSERT_TRUE(q.load(dir / "q.xml").ok());
    int changes = 0;
    q.setChangedCallback([&] { ++changes; });

    Result<std::optional<QueueEntry>> first = q.takeNext();
    ASSERT_TRUE(first && first.value());
    EXPECT_EQ(first.value()->id, 100);
    EXPECT_EQ(statusesOf(q), (std::vector<int>{1, 0}));
    // Interrupted: the sample is run again.
    ASSERT_TRUE(q.finishInWork(false).ok());
    EXPECT_EQ(statusesOf(q), (std::vector<int>{0, 0}));
    ASSERT_EQ(q.takeNext().value()->id, 100);
    ASSERT_TRUE(q.finishInWork(true).ok());
    ASSERT_EQ(q.takeNext().value()->id, 101);
    ASSERT_TRUE(q.finishInWork(true).ok());
    EXPECT_FALSE(q.takeNext().value().has_value());
    EXPECT_TRUE(q.finishInWork(true).ok());  // nothing in work: nothing happens
    EXPECT_EQ(statusesOf(q), (std::vector<int>{2, 2}));
    EXPECT_GE(changes, 6);

    q.setSelected(1, true);
    ASSERT_TRUE(q.redoSelected().ok());
    EXPECT_EQ(statusesOf(q), (std::vector<int>{2, 0}));
    EXPECT_TRUE(q.resetId(100).value());
    EXPECT_FALSE(q.resetId(55).value());
    EXPECT_EQ(statusesOf(q), (std::vector<int>{0, 0}));

    AnalysisQueue reread(q.workingCopy());
    ASSERT_TRUE(reread.loadWorkingCopy().ok());
    std::vector<QueueEntry> a = q.entries(), b = reread.entries();
    for (QueueEntry& e : a)
        e.selected = false;
    EXPECT_EQ(a, b);
}

TEST(QueueSettings, ReadDefaultsAndKeepWhatWasSaved) {
    TempDir dir;
    SettingsStore store(dir / "settings", true);
    store.load();
    QueueSettings s = QueueSettings::load(store);
    EXPECT_EQ(s.device, -1);
    EXPECT_EQ(s.channel, -1);
    EXPECT_EQ(s.workingMethod, "Не задан");
    EXPECT_EQ(s.purgeMethod, "Не задан");
    s.device = 1;
    s.channel = 0;
    s.workingMethod = "Бензин.mtd";
    s.loadFolder = "/srv/queues";
    s.exportProgram = "/usr/local/bin/lims-put";
    s.save(store);
    const QueueSettings back = QueueSettings::load(store);
    EXPECT_EQ(back.device, 1);
    EXPECT_EQ(back.channel, 0);
    EXPECT_EQ(back.workingMethod, "Бензин.mtd");
    EXPECT_EQ(back.purgeMethod, "Не задан");
    EXPECT_EQ(back.loadFolder, "/srv/queues");
    EXPECT_EQ(back.exportProgram, "/usr/local/bin/lims-put");
}

TEST(QueueRecordingLink, TheQueuesChannelTakesItsSamplesInTurn) {
    TempDir dir;
    zelmora::test::writeFile(
        dir / "q.xml", queueXml(entryXml(1, 501, 0, "Бензин") + entryXml(2, 502, 0, "Керосин")));
    AnalysisQueue queue(dir / "queue.xml");
    ASSERT_TRUE(queue.load(dir / "q.xml").ok());
    SettingsStore settings(dir / "settings", true);
    QueueSettings s;
    s.device = 0;
    s.channel = 1;
    s.workingMethod = "Бензин.mtd";
    s.save(settings);
    RecordingMessageSink messages;
    QueueRecordingLink link(queue, settings, messages);

    CDemoAdc device;
    ASSERT_TRUE(device.init(0, CChannel::factory(nullptr)));
    auto& other = dynamic_cast<CChannel&>(device.channel(0));
    auto& mine = dynamic_cast<CChannel&>(device.channel(1));

    // Another channel records as if there were no queue.
    Passport p;
    link.recordingStarting(other, p);
    EXPECT_EQ(p.sample, "");
    EXPECT_EQ(queue.firstInWork(), -1);

    // The wrong method loaded: the operator hears which one is needed.
    device.setLastLoadMethod("Дизель");
    link.recordingStarting(mine, p);
    ASSERT_FALSE(messages.entries.empty());
    EXPECT_EQ(messages.entries.back().text, "Выбран метод Дизель а нужно Бензин.mtd");
    EXPECT_EQ(queue.firstInWork(), -1);

    device.setLastLoadMethod("бензин");
    link.recordingStarting(mine, p);
    EXPECT_EQ(p.sample, "Виала № 1 Бензин # 501");
    EXPECT_EQ(p.comment, "к1");
    EXPECT_EQ(p.point, "Цех");
    EXPECT_DOUBLE_EQ(p.sampleAmount, 1.25);
    EXPECT_DOUBLE_EQ(p.standardAmount, 0.5);
    EXPECT_EQ(queue.firstInWork(), 0);
    // Interrupted: run again; completed: processed, and the next one follows.
    link.recordingStopped(mine, true);
    EXPECT_EQ(queue.entries()[0].status, kQueueNew);
    link.recordingStarting(mine, p);
    link.recordingStopped(mine, false);
    EXPECT_EQ(queue.entries()[0].status, kQueueProcessed);
    Passport next;
    link.recordingStarting(mine, next);
    EXPECT_EQ(next.sample, "Виала № 2 Керосин # 502");
}
