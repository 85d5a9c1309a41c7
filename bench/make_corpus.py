#!/usr/bin/env python3
"""Makes the replace benchmark's corpora and their expected results.

usage: make_corpus.py WORK_DIR WITH_LARGE

WORK_DIR/small (2,000 files of about 50 KB) and, when WITH_LARGE is 1,
WORK_DIR/large (4 files of 100 MB): GBK Chinese and English text with CRLF
lines, the same bytes on every run (fixed seed). WORK_DIR/<corpus>.expected
holds each file after the 20 definitions of WORK_DIR/definitions.tsv have
been applied in order: for valid GBK text, occurrences that start on
character boundaries, left to right without overlap, are exactly what
str.replace finds in the decoded text.
"""
import os
import random
import sys

DEFINITIONS = [
    ("the", "THE"), ("and", "&"), ("data", "information"), ("system", "sys"),
    ("file", "document"), ("value", "val"), ("test", "check"), ("report", "summary"),
    ("table", "grid"), ("index", "catalogue"),
    ("数据", "资料"), ("系统", "体系"), ("文件", "档案"), ("测试", "检验"), ("报告", "汇报"),
    ("表格", "表"), ("索引", "目录索引"), ("中文", "汉语"), ("程序", "软件程序"), ("用户", "使用者"),
]

ENGLISH = ("the and data system file value test report table index of to in is that for "
           "with as on be at by this have from or one had word but not what all were we "
           "when your can said there use each which she do how their if will up other about "
           "out many then them these so some her would make like him into time has look two "
           "more write go see number no way could people my than first water been call who "
           "oil its now find long down day did get come made may part theory thesis tested "
           "database filed tables indexed").split()
CHINESE = ("数据 系统 文件 测试 报告 表格 索引 中文 程序 用户 我们 他们 这个 那个 时间 问题 "
           "工作 发展 国家 经济 社会 技术 管理 信息 网络 处理 方法 结果 分析 研究 学习 生活 "
           "世界 城市 公司 市场 产品 服务 质量 标准 规定 要求 内容 部分 过程 条件 环境 能力 "
           "的 了 是 在 和 有 也 就 都 而 及 与 着 或 一个 没有 可以 因为 所以 但是 如果 虽然").split()


def make_line(rng):
    words = []
    for _ in range(rng.randint(4, 18)):
        if rng.random() < 0.5:
            words.append(rng.choice(ENGLISH))
        else:
            words.append(rng.choice(CHINESE) + rng.choice(CHINESE))
    sep = rng.choice([" ", "，", "", " "])
    return sep.join(words) + rng.choice(["。", ".", "", "！", "?"])


def apply(text):
    for find, repl in DEFINITIONS:
        text = text.replace(find, repl)
    return text


def write(path, text):
    with open(path, "wb") as f:
        f.write(text.encode("gbk"))


def make_corpus(work, name, count, size, rng, pool):
    src = os.path.join(work, name)
    exp = os.path.join(work, name + ".expected")
    if os.path.isdir(src) and os.path.isdir(exp):
        return
    os.makedirs(src, exist_ok=True)
    os.makedirs(exp, exist_ok=True)
    for i in range(count):
        lines = []
        total = 0
        while total < size:
            line = rng.choice(pool)
            lines.append(line)
            total += len(line) * 3 // 2 + 2
        text = "\r\n".join(lines) + "\r\n"
        fname = "file%05d.txt" % i
        write(os.path.join(src, fname), text)
        write(os.path.join(exp, fname), apply(text))


def main():
    work = sys.argv[1]
    with_large = sys.argv[2] == "1"
    rng = random.Random(20261207)
    pool = [make_line(rng) for _ in range(20000)]
    with open(os.path.join(work, "definitions.tsv"), "w", encoding="utf-8") as f:
        for find, repl in DEFINITIONS:
            f.write(find + "\t" + repl + "\n")
    make_corpus(work, "small", 2000, 50_000, rng, pool)
    if with_large:
        make_corpus(work, "large", 4, 100_000_000, rng, pool)


if __name__ == "__main__":
    main()
