#include "printscript.h"

namespace dv {

namespace {

// Runs in a world of its own, so the page's scripts can neither see nor change it.
// The print rules go into a constructed style sheet: a page's Content Security
// Policy may forbid style elements, never those. Each rule found keeps the @media,
// @supports and @layer it stands in, so an element fixed on a wide screen only is
// not moved on paper, and a layered !important is matched in its own layer.
// Sheets of other origins cannot be read: then what the screen shows held in place
// is marked instead.
const char* const Script = R"JS(
(function (once) {
  'use strict';
  try {
  var mark = 'data-dorvantis-print-once';
  var block = 'data-dorvantis-print-block';
  var held = /^(fixed|sticky|-webkit-sticky)$/i;
  var own = window.dorvantisPrintSheet;
  if (!own) {
    // Its rules sit in @media print: the sheet's own media list is not heeded everywhere.
    own = window.dorvantisPrintSheet = new CSSStyleSheet();
  }
  var marked = document.querySelectorAll('[' + mark + '], [' + block + ']');
  for (var m = 0; m < marked.length; ++m) {
    marked[m].removeAttribute(mark);
    marked[m].removeAttribute(block);
  }
  var out = [];
  {
    var unreadable = false;
    // Selectors the page's own print rules give a display of their own.
    var printDisplay = [];
    var inside = function (wrap, head) {
      var f = function (t) { return wrap(head + '{' + t + '}'); };
      f.print = wrap.print || /\bprint\b/i.test(head);
      return f;
    };
    var rules = function (list, wrap) {
      for (var i = 0; i < list.length; ++i) {
        var r = list[i];
        if (r.type === CSSRule.STYLE_RULE) {
          if (once && r.style && held.test(r.style.position)) out.push(wrap(r.selectorText + '{position:static!important}'));
          if (r.style && wrap.print && r.style.display) printDisplay.push(r.selectorText);
        } else if (r.type === CSSRule.MEDIA_RULE) {
          rules(r.cssRules, inside(wrap, '@media ' + r.media.mediaText));
        } else if (r.type === CSSRule.SUPPORTS_RULE) {
          rules(r.cssRules, inside(wrap, '@supports ' + r.conditionText));
        } else if (r.type === CSSRule.IMPORT_RULE) {
          if (r.styleSheet) sheet(r.styleSheet, wrap);
        } else if (window.CSSLayerBlockRule && r instanceof CSSLayerBlockRule && r.name) {
          rules(r.cssRules, inside(wrap, '@layer ' + r.name));
        } else if (r.cssRules) {
          rules(r.cssRules, wrap);
        }
      }
    };
    var sheet = function (s, wrap) {
      if (s === own) return;
      var w = s.media && s.media.mediaText ? inside(wrap, '@media ' + s.media.mediaText) : wrap;
      var list;
      try {
        list = s.cssRules;
      } catch (e) {
        unreadable = true;
        return;
      }
      if (list) rules(list, w);
    };
    var asIs = function (t) { return t; };
    for (var i = 0; i < document.styleSheets.length; ++i) sheet(document.styleSheets[i], asIs);
    var adopted = document.adoptedStyleSheets || [];
    for (var a = 0; a < adopted.length; ++a) sheet(adopted[a], asIs);
    var candidates = !once ? [] : unreadable ? document.getElementsByTagName('*') : document.querySelectorAll('[style]');
    for (var c = 0; c < candidates.length; ++c) {
      var e = candidates[c];
      if ((e.style && held.test(e.style.position)) || (unreadable && held.test(getComputedStyle(e).position)))
        e.setAttribute(mark, '');
    }
    if (once) out.push('[' + mark + ']{position:static!important}');
    // The engine cuts lines through at sheet breaks inside tall flex and grid
    // containers, page layouts of a column or two: printed as blocks, their lines
    // move whole to the next sheet. One the page lays out for print itself is left.
    var all = document.body ? document.body.getElementsByTagName('*') : [];
    for (var b = 0; b < all.length; ++b) {
      var box = all[b];
      if (!(box.offsetHeight >= 1000) || !/^(flex|grid|-webkit-box)$/.test(getComputedStyle(box).display)) continue;
      var laidOut = false;
      for (var p = 0; p < printDisplay.length && !laidOut; ++p) {
        try {
          laidOut = box.matches(printDisplay[p]);
        } catch (e) {
        }
      }
      if (!laidOut) box.setAttribute(block, '');
    }
    out.push('[' + block + ']{display:block!important}');
  }
  try {
    own.replaceSync('@media print {\n' + out.join('\n') + '\n}');
  } catch (e) {
    own.replaceSync(once ? '@media print { [' + mark + ']{position:static!important} }' : '');
  }
  if (document.adoptedStyleSheets.indexOf(own) < 0)
    document.adoptedStyleSheets = document.adoptedStyleSheets.concat([own]);
  } catch (e) {
    // Printed as the page stands; its size is still wanted.
  }
  var root = document.documentElement;
  return root ? [root.scrollHeight, root.clientWidth] : [0, 0];
})
)JS";

} // namespace

QString printPreparationScript(bool fixedBarsOnce)
{
    return QString::fromLatin1(Script).trimmed()
        + (fixedBarsOnce ? QStringLiteral("(true)") : QStringLiteral("(false)"));
}

} // namespace dv
