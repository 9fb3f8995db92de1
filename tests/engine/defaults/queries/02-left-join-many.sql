select p.sku, p.title, s.qty_on_hand, w.city
from products p
left join stock s on s.sku = p.sku and s.qty_on_hand > 0
left outer join warehouses w on w.warehouse_id = s.warehouse_id
join suppliers sp on sp.supplier_id = p.supplier_id
where p.discontinued = 0 or p.title like '%spare, used%'
