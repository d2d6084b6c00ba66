#include "method/document_method.h"

#include <gtest/gtest.h>

#include "app/program_settings.h"
#include "document/zelmora_doc.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

TEST(DocumentMethod, AnOpenedChromatogramLoadsAndFollowsItsMethod) {
    installFolderMethodLoader();
    CMethodSheet editor;
    editor.method().calculation.components.push_back({});
    editor.method().calculation.components.back().name = "Метан";
    ASSERT_TRUE(editor.WriteMethod("Газ"));

    test::TempDir dir;
    const auto file = dir / "a.stg";
    {
        CZelmoraDoc doc;
        doc.signal.samples = {0, 1, 2, 1, 0};
        doc.signal.dt = 0.01;
        doc.passport.method = "газ";  // names are matched without regard to case
        SilentMessageSink sink;
        ASSERT_TRUE(doc.Write(file, sink, false));
    }
    CZelmoraDoc doc;
    RecordingMessageSink sink;
    ASSERT_TRUE(doc.OnOpenDocument(file, sink));
    ASSERT_TRUE(doc.hasMethod);
    ASSERT_NE(documentMethod(doc), nullptr);
    ASSERT_EQ(documentMethod(doc)->calculation.components.size(), 1u);
    EXPECT_NE(doc.makeTitle().find("; Метод: "), std::string::npos);

    // Saving the method reloads the chromatogram's copy.
    MethodReloadLink link(doc, sink);
    editor.method().calculation.components.push_back({});
    editor.method().calculation.components.back().name = "Этан";
    ASSERT_TRUE(editor.WriteMethod("Газ"));
    EXPECT_EQ(documentMethod(doc)->calculation.components.size(), 2u);
    // Another method's save leaves it alone.
    CMethodSheet other;
    ASSERT_TRUE(other.WriteMethod("Другой"));
    EXPECT_EQ(documentMethod(doc)->calculation.components.size(), 2u);

    // A chromatogram whose method file is missing has no method copy.
    CZelmoraDoc orphan;
    orphan.passport.method = "Нет такого";
    EXPECT_FALSE(orphan.reloadMethod(sink));
    EXPECT_EQ(documentMethod(orphan), nullptr);
}

}  // namespace
}  // namespace zelmora
