INSERT INTO archived_invoices (invoice_id, issued_on, amount)
SELECT i.invoice_id, i.issued_on, i.amount FROM invoices i WHERE i.issued_on < '2020-01-01'
