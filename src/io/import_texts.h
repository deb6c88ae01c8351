// Message patterns of the URL import and the CSV export, shared by both front ends so the
// catalogues hold one msgid each. They are untranslated: wrap them with Tr() where shown.
#pragma once

namespace velmora::io {

// Log lines of a finished import.
inline constexpr const char* kLogDataLoaded = "Данные загружены";
inline constexpr const char* kLogDataPasted = "Данные вставлены из буфера обмена";

// Message boxes of the import.
inline constexpr const char* kMsgImportFileNotFound = "Файл с данными для импорта не найден!";
// Followed by the reader's message.
inline constexpr const char* kMsgSitemapParseError = "Ошибка при разборе файла: ";
inline constexpr const char* kMsgSitemapNoUrlset =
    "Файл данных имеет неприемлимый формат (нет тега \"urlset\")";
inline constexpr const char* kMsgUrlLimit = "Ограничение: не более 10 000 URL";
// %s is the file's path, followed by the system's reason.
inline constexpr const char* kMsgFileReadFailed = "Не удалось прочитать файл: %s";
// Sitemap reader's own messages, shown after kMsgSitemapParseError; %s is the file's path.
inline constexpr const char* kMsgSitemapOpenFailed = "Не удалось открыть файл: %s";
// Where in the file the reader stopped: %d is the line number, %s the reason (libxml2's own
// words, in English, or one of the messages below).
inline constexpr const char* kMsgSitemapAtLine = "строка %d: %s";
inline constexpr const char* kMsgSitemapEntityInLoc =
    "ссылки на сущности в теге \"loc\" не поддерживаются";
inline constexpr const char* kMsgSitemapBadUtf8InCdata =
    "в разделе CDATA байты, которые не являются UTF-8";
inline constexpr const char* kMsgSitemapEmpty = "файл пуст";
// libxml2 stopped without saying why.
inline constexpr const char* kMsgSitemapXmlError = "ошибка разбора XML";

// Sitemaps from the web, index files and gzip: why one file is left out.
inline constexpr const char* kMsgSitemapTooManyUrls = "в файле больше 50 000 URL";
inline constexpr const char* kMsgSitemapTooLarge = "файл больше 50 МБ (после распаковки)";
inline constexpr const char* kMsgSitemapBadGzip = "повреждённые данные gzip";
inline constexpr const char* kMsgSitemapAborted = "загрузка прервана";
inline constexpr const char* kMsgSitemapTimedOut =
    "загрузка карт сайта не уложилась в отведённое время";
// %d is the HTTP status.
inline constexpr const char* kMsgSitemapHttpStatus = "сервер ответил кодом %d";
inline constexpr const char* kMsgSitemapNotWeb = "допустимы только адреса http и https";
inline constexpr const char* kMsgSitemapTooDeep = "вложенность индексов больше 3 уровней";
inline constexpr const char* kMsgSitemapTooManyFiles = "больше 1 000 файлов в индексах";
inline constexpr const char* kMsgSitemapDownloadFailed = "не удалось загрузить: ";
// %s is the file's address, followed by the reason in brackets.
inline constexpr const char* kMsgSitemapFileLeftOut = "Файл sitemap пропущен: %s";
// %d is how many URLs did not fit.
inline constexpr const char* kMsgUrlLimitLeftOut =
    "Ограничение: не более 10 000 URL, не добавлено: %d";

// Why a crawl found nothing at its start address.
inline constexpr const char* kMsgCrawlStartDisallowed = "robots.txt запрещает обход этого адреса";
// robots.txt could not be read, so nothing of the site may be crawled; %s is the reason.
inline constexpr const char* kMsgCrawlSiteUnreachable = "сайт недоступен: %s";
inline constexpr const char* kMsgCrawlRobotsUnread = "не удалось прочитать robots.txt: %s";
// %d is the HTTP status; a server fault on robots.txt forbids the whole site.
inline constexpr const char* kMsgCrawlRobotsServerError =
    "robots.txt отвечает кодом %d (ошибка сервера), а при ней обход сайта не разрешён";
// %d is the size limit in KB.
inline constexpr const char* kMsgCrawlRobotsTooLarge = "robots.txt больше %d КБ";
// %s is where the redirect leads.
inline constexpr const char* kMsgCrawlStartOffSite = "перенаправление за пределы сайта: %s";
inline constexpr const char* kMsgCrawlStartNotHtml = "ответ не является страницей HTML";
// A crawl's progress: %s are the requests made, the addresses waiting and the pages found.
inline constexpr const char* kLogCrawlProgress =
    "Обход сайта: запросов: %s, в очереди: %s, найдено страниц: %s";
// Its report: %s are the requests made and the pages found; %d the count of each reason.
inline constexpr const char* kLogCrawlDone = "Обход сайта: запросов: %s, найдено страниц: %s";
inline constexpr const char* kLogCrawlRobots = "Пропущено запрещённых в robots.txt: %d";
inline constexpr const char* kLogCrawlNotHtml = "Пропущено ответов не HTML: %d";
inline constexpr const char* kLogCrawlFailed = "Пропущено адресов с ошибкой или без ответа: %d";
inline constexpr const char* kLogCrawlTooLarge = "Пропущено страниц больше 5 МБ: %d";
inline constexpr const char* kLogCrawlOffSite = "Пропущено перенаправлений за пределы сайта: %d";
inline constexpr const char* kLogCrawlQueryVariants =
    "Пропущено адресов сверх 20 вариантов запроса одной страницы: %d";
inline constexpr const char* kLogCrawlPageLimit = "Обход остановлен на пределе страниц: %d";
inline constexpr const char* kLogCrawlTimedOut = "Обход остановлен: время вышло";
// After kLogCrawlTimedOut: %s are the pages found, the links still queued and the minutes the
// rest would take at the crawl's pace.
inline constexpr const char* kLogCrawlTimedOutRest =
    "Найдено страниц: %s, ссылок в очереди: %s; на остальное нужно ещё около %s мин. "
    "(--crawl-timeout)";

// Open-file dialogs of the import.
inline constexpr const char* kDlgImportTxtTitle = "Укажите текстовый файл для импорта URL";
inline constexpr const char* kDlgImportTxtFilterName = "Текстовый файл";
inline constexpr const char* kDlgImportTxtFilterMask = "*.txt";
inline constexpr const char* kDlgImportXmlTitle = "Укажите файл sitemap.xml для импорта URL";
inline constexpr const char* kDlgImportXmlFilterName = "Файлы sitemap.xml";
inline constexpr const char* kDlgImportXmlFilterMask = "sitemap.xml";

// CSV export.
inline constexpr const char* kDlgExportTitle = "Укажите файл для экспорта";
inline constexpr const char* kDlgExportFilterName = "CSV - значения, разделенные запятыми";
inline constexpr const char* kDlgExportFilterMask = "*.csv";
inline constexpr const char* kExportFileNameDesktop = "velmora_desktop.csv";
inline constexpr const char* kExportFileNameMobile = "velmora_mob.csv";
inline constexpr const char* kMsgExportFailed = "Невозможно создать файл экспорта!";

// What an import left out, and files that cannot be taken as they are.
// %d is a count; each line is shown only when its count is not 0 (the first one always).
inline constexpr const char* kLogImportAdded = "Добавлено URL: %d";
inline constexpr const char* kLogSkippedDuplicates = "Пропущено повторов: %d";
inline constexpr const char* kLogSkippedNotHttp = "Пропущено не http(s): %d";
inline constexpr const char* kLogSkippedResources = "Пропущено файлов ресурсов: %d";
inline constexpr const char* kLogSkippedOverLimit = "Пропущено сверх 10 000 URL: %d";
inline constexpr const char* kLogSkippedBadLines =
    "Пропущено строк с управляющими или нечитаемыми символами: %d";
inline constexpr const char* kLogSkippedTooLong = "Пропущено URL длиннее 8 КБ: %d";
inline constexpr const char* kLogAssumedHttps = "Из них без схемы, добавлено с https://: %d";
inline constexpr const char* kLogSkippedNotUrls = "Пропущено строк, которые не являются URL: %d";
inline constexpr const char* kLogSkippedComments = "Пропущено комментариев: %d";
inline constexpr const char* kLogSkippedBlank = "Пропущено пустых строк: %d";
// %s is the file's path.
inline constexpr const char* kMsgFileTooLarge = "Файл больше 64 МБ: %s";
// %s is the file's path.
inline constexpr const char* kMsgNotATextFile =
    "Файл не похож на текстовый (в нём есть нулевые байты): %s";
// %s is the file's path.
inline constexpr const char* kLogCsvWrittenInUtf8 =
    "Файл %s записан в UTF-8: не все символы помещаются в кодовую страницу";

}  // namespace velmora::io
