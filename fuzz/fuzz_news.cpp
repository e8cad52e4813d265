// The vendor's news and version answers.
#include "FuzzInput.h"
#include "services/VendorAnswers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = yzfuzz::textOf(data, size);
    (void)yz::parseVersionAnswer(text);
    if (const auto news = yz::parseNewsAnswer(text)) {
        yzfuzz::check(news->titles.size() <= yz::kNewsLabelCount, "at most six titles");
        yzfuzz::check(news->links.size() == text.count(QStringLiteral("{L|G}")) + 1, "one link per item");
        yzfuzz::check(!news->layOut || news->titles.size() == news->links.size(), "laid out only when all were read");
    }
    return 0;
}
