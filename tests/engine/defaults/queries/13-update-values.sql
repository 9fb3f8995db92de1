UPDATE inventory SET qty = qty - 1, note = 'sold, boxed' WHERE sku = 'A-100' -- one unit, from the shelf
;
INSERT INTO audit_log (sku, change) VALUES ('A-100', -1), ('B-7', 2)
