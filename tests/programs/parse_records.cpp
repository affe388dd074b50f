// Reading a small order file the way programs do: lines written with
// fprintf, read back with fgetl until the end, each parsed with sscanf and
// str2num into vectors that grow one record at a time; a struct per
// record; totals, sorting, and a save/load round trip of what was
// collected. Expected values are C arithmetic on the same records.
#include "check.hpp"

#include <algorithm>
#include <cstdio>
#include <string>

using program::held;
using program::near;
using program::same;

namespace {

struct order {
    const char* item;
    int qty;
    double price;
};

const order orders[] = {
    {"bolts", 120, 0.25}, {"nuts", 80, 0.125}, {"washers", 300, 0.0625}, {"brackets", 12, 3.5},
    {"hinges", 24, 2.75}, {"screws", 500, 0.03125}, {"rivets", 0, 0.5},
};
constexpr int count = sizeof orders / sizeof orders[0];

std::string as_string(const Mm& x)
{
    char buf[256];
    Mstr(x, buf, sizeof buf);
    return buf;
}

} // namespace

int main()
{
    initM2(4510, sizeof(Mm));

    Mm file = strcat((CL(tempname()), ".txt"));
    Mm fid = fopen(file, TM("w"));
    for (const order& o : orders)
        fprintf(fid, TM("%s %d %g\\n"), (CL(TM(o.item)), double(o.qty), o.price));
    fclose(fid);

    // One record a line; quantities and prices collected as they come.
    Mm qty, price, items, stock;
    int n = 0;
    fid = fopen(file, TM("r"));
    while (true) {
        Mm line = fgetl(fid);
        if (!line.isstr())
            break;
        ++n;
        Mm fields = sscanf(line, TM("%*s %f %f"));
        qty(n) = Mm(fields(1.0));
        price(n) = Mm(fields(2.0));
        Mm word = strtok(line);
        items.br(n) = word;
        stock(n).member("item") = word;
        stock(n).member("value") = Mm(qty(n)) * Mm(price(n));
        held("a record parsed", {&line, &fields, &qty, &price, &items, &stock});
    }
    fclose(fid);
    deleteM(file);

    near("records read", n, count);
    std::vector<double> c_qty, c_price;
    double c_total = 0;
    for (const order& o : orders) {
        c_qty.push_back(o.qty);
        c_price.push_back(o.price);
        c_total += o.qty * o.price;
    }
    same("qty", qty, 1, count, c_qty);
    same("price", price, 1, count, c_price);
    near("total", sum(times(qty, price)).r(), c_total);
    near("isempty(qty)", isempty(qty), 0);

    // The same numbers through str2num, one text at a time.
    Mm again;
    for (int k = 1; k <= count; ++k) {
        again(k) = str2num(num2str(Mm(double(orders[k - 1].qty))));
        held("again(k) = str2num(num2str(q))", {&again});
    }
    same("str2num(num2str(qty))", again, 1, count, c_qty);

    // The most valuable line, and the items ordered by value.
    Mm values;
    for (int k = 1; k <= count; ++k)
        values(k) = Mm(stock(k).member("value"));
    held("values(k) = stock(k).value", {&values});
    Mm sorted, order_of;
    sort(values, i_o, sorted, order_of);
    std::vector<int> c_order(count);
    for (int k = 0; k < count; ++k)
        c_order[k] = k;
    std::stable_sort(c_order.begin(), c_order.end(), [](int a, int b) {
        return orders[a].qty * orders[a].price < orders[b].qty * orders[b].price;
    });
    const int top = c_order.back();
    program::record(as_string(Mm(items.br(order_of(double(count))))) == orders[top].item, "the most valuable item");
    Mm empty_lines = find(qty == 0.0);
    same("find(qty == 0)", empty_lines, 1, 1, {7});

    // What was collected, saved and read back under the same names.
    Mm data_file = strcat((CL(tempname()), ".vor"));
    Mm q(qty, "qty"), p(price, "price"), s(stock, "stock"), it(items, "items");
    save(data_file, (CL(q), p, s, it));
    Mm q2(Mm(), "qty"), p2(Mm(), "price"), s2(Mm(), "stock"), it2(Mm(), "items");
    load(data_file, (CL(q2), p2, s2, it2));
    deleteM(data_file);
    held("load", {&q2, &p2, &s2, &it2});
    near("qty after load", isequal(q2, qty), 1);
    near("price after load", isequal(p2, price), 1);
    near("stock after load", isequal(s2, stock), 1);
    near("items after load", isequal(it2, items), 1);
    near("stock(4).value after load", Mm(s2(4.0).member("value")).r(), 12 * 3.5);

    exitM();
    return program::finish("parse_records");
}
