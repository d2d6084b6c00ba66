#!/usr/bin/env python3
# Writes the default chromatogram report forms share/Templates/report.rpt and
# reporti.rpt (with the retention index column), the natural-gas report
# form PrGase.rpt and the instrument check form test.rpt (repeated
# injections):
#   python3 scripts/make_report_templates.py share/Templates
# Writes the default report forms as a word processor would: code page 1251.
def esc(s):
    out = ""
    for ch in s:
        if ch in "\\{}":
            out += "\\" + ch
        elif ord(ch) < 128:
            out += ch
        else:
            out += "\\'%02x" % ch.encode("cp1251")[0]
    return out

def par(text, fmt="", pfmt="\\ql"):
    return "\\pard\\plain\\f0\\fs22\\sa60" + pfmt + " " + (("{" + fmt + " " + esc(text) + "}") if fmt else esc(text)) + "\\par\n"

def row(cells, bold=False):
    x, defs = 0, ""
    for _, w in cells:
        x += w
        defs += "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10\\clbrdrr\\brdrs\\brdrw10\\clvertalc\\cellx%d" % x
    out = "\\trowd\\trgaph70\\trleft0" + defs + "\n"
    for text, _ in cells:
        out += "\\pard\\plain\\intbl\\ql\\f0\\fs20" + ("\\b" if bold else "") + " " + esc(text) + "\\cell\n"
    return out + "\\row\n"

def form(index):
    cols = [("№", 600, "__Number"), ("Время, мин", 1200, "__Time")]
    if index:
        cols.append(("Индекс", 1000, "__Index"))
    cols += [("Высота", 1400, "__Height"), ("Площадь", 1400, "__Area"),
             ("Концентрация", 2000, "__Concentration"), ("Ед.", 900, "__Quant"),
             ("Компонент __TGROUP", 1600 if index else 2600, "__Component")]
    gcols = [("№", 600, "__NumberG"), ("Группа", 3500, "__GroupName"), ("Высота", 1900, "__HeightG"),
             ("Площадь", 1900, "__AreaG"), ("Концентрация", 2200, "__ConcentrationG")]
    body = par("Отчёт о хроматографическом анализе", "\\b\\fs28", "\\qc\\sa200")
    for line in ["__CommonSection", "Файл: __FileName",
                 "Дата анализа: __AnDate; продолжительность: __Duration мин",
                 "Оператор: __Operator __CommonSection",
                 "__SampleSection"]:
        body += par(line)
    body += "\\pard\\plain\\f0\\fs22\\sa60\\ql " + esc("Проба: ") + "{\\b " + esc("__Sample1") + "}\\par\n"
    for line in ["Дата отбора: __Date", "Место отбора: __Place", "Номер в серии: __NumberInSeria",
                 "__Volume __SampleSection",
                 "__MethodSection", "Метод: __Method; детектор: __Detector __MethodSection",
                 "__CountMethodSection",
                 "Метод расчёта: __CountMethod, по параметру: __MtdParam __CountMethodSection",
                 "__ColumnSection",
                 "Колонка: __Column, номер __ColumnNumber; длина __Length мм, диаметр __Diamiter мм, зерно __SeedSize мкм __ColumnSection",
                 "__EluentSection",
                 "Элюент: __Eluent; поток __EluentFlow, температура __EluentTemperature, давление __EluentPressuer __EluentSection",
                 "__ReagentSection",
                 "Реагент: __Reagent; поток __ReagentFlow, температура __ReagentTemperature, давление __ReagentPressuer __ReagentSection",
                 "__TemperatureSection", "Температурные параметры: __Temperature __TemperatureSection",
                 "__GasSection", "Газовые параметры: __Gas __GasSection",
                 "__PictureSection"]:
        body += par(line)
    body += par("__Picture __PictureSection", "", "\\qc")
    body += par("__TableSection")
    body += row([(c[0], c[1]) for c in cols], True)
    body += par("__TableTemplateSection")
    body += row([(c[2], c[1]) for c in cols])
    body += par("__TableTemplateSection __TableSection")
    body += par("__GroupSection")
    body += row([(c[0], c[1]) for c in gcols], True)
    body += par("__GroupTemplateSection")
    body += row([(c[2], c[1]) for c in gcols])
    body += par("__GroupTemplateSection __GroupSection")
    body += par("__CalibSection")
    body += par("Градуировочные зависимости", "\\b")
    body += par("__CalibTemplateSection")
    body += par("__CNumber. __CName: __CFormul")
    body += par("__CalibTemplateSection __CalibSection")
    body += par("__CalibPictureSection")
    body += par("__CalibPicture __CalibPictureSection", "", "\\qc")
    for line in ["__CommentSection", "Комментарий: __Comment __CommentSection",
                 "Дата отчёта: __ReportDate", "Анализ выполнил: __Operator"]:
        body += par(line)
    return document(body)

def document(body):
    head = ("{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049\n"
            "{\\fonttbl{\\f0\\froman\\fprq2\\fcharset204 Times New Roman;}{\\f1\\fswiss\\fprq2\\fcharset204 Arial;}}\n"
            "{\\colortbl;\\red0\\green0\\blue0;}\n"
            "{\\*\\generator Zelmora;}\\paperw11906\\paperh16838\\margl855\\margr855\\margt855\\margb855\n")
    return head + body + "}\n"

def gas_form():
    chrm = [("№", 600, "__Num"), ("Файл хроматограммы", 4200, "__File"), ("Проба", 5300, "__Sample")]
    comp = [("№", 600, "__Number"), ("Компонент", 2400, "__Param"), ("Молярная доля, %", 1700, "__C"),
            ("Расхождение, %", 1900, "__Delta"), ("Повторяемость", 3500, "__Shod")]
    body = par("Расчёт свойств природного газа", "\\b\\fs28", "\\qc\\sa200")
    body += par("Дата отчёта: __ReportDate")
    body += par("Хроматограммы пробы", "\\b", "\\ql\\sb120")
    body += row([(c[0], c[1]) for c in chrm], True)
    body += par("__ChrmTemplateSection")
    body += row([(c[2], c[1]) for c in chrm])
    body += par("__ChrmTemplateSection")
    body += par("Компонентный состав (среднее по хроматограммам)", "\\b", "\\ql\\sb120")
    body += row([(c[0], c[1]) for c in comp], True)
    body += par("__ResultsTemplateSection")
    body += row([(c[2], c[1]) for c in comp])
    body += par("__ResultsTemplateSection")
    body += par("Физико-химические показатели", "\\b", "\\ql\\sb120")
    body += par("__Conditions")
    body += row([("Показатель", 4100), ("Высшая", 3000), ("Низшая", 3000)], True)
    body += row([("Теплота сгорания", 4100), ("__Qv", 3000), ("__Qn", 3000)])
    body += row([("Число Воббе", 4100), ("__Vv", 3000), ("__Vn", 3000)])
    body += par("")
    body += par("Относительная плотность (по воздуху): __Ro")
    body += par("Абсолютная плотность: __ARo кг/м3")
    body += par("")
    body += par("Расчёт выполнил: ..............................................")
    return document(body)

def test_form():
    chrm = [("№", 600, "__Num"), ("Файл хроматограммы", 4600, "__File"), ("Проба", 4900, "__Sample")]
    res = [("№", 1300, "__Number"), ("Время, мин", 1600, "__Time"), ("Высота, мВ", 2200, "__Height"),
           ("Площадь, мВ·мин", 2400, "__Area"), ("Концентрация", 2600, "__Concentration")]
    body = par("Отчёт поверки прибора", "\\b\\fs28", "\\qc\\sa200")
    body += par("Дата отчёта: __ReportDate")
    body += par("Хроматограммы (* — опорная для предела детектирования)", "\\b", "\\ql\\sb120")
    body += row([(c[0], c[1]) for c in chrm], True)
    body += par("__ChrmTemplateSection")
    body += row([(c[2], c[1]) for c in chrm])
    # The closing markers stand at the start of the next line, so that no
    # empty line is left between the rows of a table.
    body += par("__ChrmTemplateSection __ComponentSection")
    body += par("Компонент: __Component", "\\b", "\\ql\\sb200")
    body += row([(c[0], c[1]) for c in res], True)
    body += par("__ResultsTemplateSection")
    body += row([(c[2], c[1]) for c in res])
    body += row([("__ResultsTemplateSection Среднее", 1300), ("__MT", 1600), ("__MH", 2200), ("__MA", 2400), ("__MC", 2600)], True)
    body += row([("ОСКО, %", 1300), ("__ST", 1600), ("__SH", 2200), ("__SA", 2400), ("__SC", 2600)], True)
    body += par("Предел детектирования: __ConThresh")
    body += par("__ComponentSection")
    body += par("Шум нулевой линии: __Noise", "", "\\ql\\sb200")
    body += par("Дрейф нулевой линии: __Drift")
    body += par("")
    body += par("Поверку выполнил: ..............................................")
    return document(body)

import sys
open(sys.argv[1] + "/report.rpt", "w", newline="\r\n").write(form(False))
open(sys.argv[1] + "/reporti.rpt", "w", newline="\r\n").write(form(True))
open(sys.argv[1] + "/PrGase.rpt", "w", newline="\r\n").write(gas_form())
open(sys.argv[1] + "/test.rpt", "w", newline="\r\n").write(test_form())
