#include "ui/help_window.h"

#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

const char* const kGuide = R"(
<h2>TideWhelk quick guide</h2>
<h3>Getting started</h3>
<ol>
<li>Enter your news server on the login window (it opens when you press <b>Scan</b>) or let the
setup assistant check it for you.</li>
<li>Add newsgroups in <b>Options</b> &rsaquo; Newsgroups, typed in or picked from the server's
full list (<i>Host Newsgroups</i>).</li>
<li>Press <b>Scan</b>. The headers of every switched-on group are read in bursts; pick a group
under <i>Group Zoom</i> to browse its items.</li>
<li>Select items and press <b>Add to Batch</b>, then <b>Download</b> on the Batch page. Finished
files are listed on the Processed page; double-click one to open it.</li>
</ol>
<h3>Keys in the header list</h3>
<table cellpadding="3">
<tr><td><b>Ctrl+A</b></td><td>select every item</td></tr>
<tr><td><b>Ctrl+B</b></td><td>add the selection to the batch</td></tr>
<tr><td><b>Ctrl+F</b></td><td>find headers by text</td></tr>
<tr><td><b>Ctrl+V</b></td><td>view the first selected article as text</td></tr>
<tr><td><b>Ctrl+P</b></td><td>list the parts of the first selected item</td></tr>
<tr><td><b>Ctrl+R</b></td><td>preview the first selected MP3</td></tr>
<tr><td><b>Delete</b></td><td>delete the selected headers (Restore brings them back)</td></tr>
</table>
<p>In the batch, <b>Delete</b> removes the selected entries; on the Processed page it clears the
selected rows (files stay on disk). A right click on a selection opens the list's menu.</p>
<h3>The view filter</h3>
<p>The toggles show or hide complete, text, unknown and incomplete items and those already in the
batch; <i>New</i> hides items whose articles are about to expire.</p>
<h3>Watch list</h3>
<p><b>Watch/Kill</b> keeps phrases that queue matching items during a scan, or drop their headers
altogether.</p>
<h3>When the connection drops</h3>
<p>Scans and downloads count down and resume on their own; press <b>Stop</b> to call a countdown
off. Parts already downloaded are kept and not fetched again.</p>
)";

} // namespace

HelpWindow::HelpWindow(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("TideWhelk Help"));
    auto* text = new QTextBrowser;
    text->setObjectName(QStringLiteral("txtHelp"));
    text->setOpenExternalLinks(false);
    text->setHtml(QString::fromUtf8(kGuide));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text, 1);
    layout->addWidget(buttons);
    resize(560, 620);
}
